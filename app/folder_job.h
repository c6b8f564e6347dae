// A job whose source is a folder: every regular file in it is converted into
// the destination folder, several at once, with one run log for the job.
#pragma once

#include <string>

#include "app/job_driver.h"

namespace brolvin {

struct FolderJobResult {
    int exitStatus = kExitNotConverted;  // 0 only when every file converted
    long long recordsWritten = 0;
    std::string outcome;  // the console's summary line
};

// Converts the files of the folder job.source into the folder
// job.destination (created when missing), appending to `log` the folder's
// lines and one section per file, in file-name order.
FolderJobResult runFolderJob(const DriverArgs& args, RunContext& ctx, const EngineCall& engine, const JobParams& job,
                             const JobSettings& settings, int displayMode, std::string& log);

// The output name of a source file in a folder job: the file name with its
// last extension replaced by the type's ("csv", "xml", or "x12" for the
// types that build X12); the name unchanged under "RE" or for a type that
// writes no file.
std::string folderOutputName(const std::string& fileName, const std::string& conversionType,
                             const JobSettings& settings);

}  // namespace brolvin
