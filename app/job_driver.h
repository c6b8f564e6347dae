// The job driver: builds the job from its arguments, resolves source and
// destination, calls the conversion engine at most once and writes the run log.
#pragma once

#include <functional>
#include <string>

#include "core/engine_call.h"
#include "core/job_params.h"
#include "util/platform.h"
#include "engine/engine.h"

namespace brolvin {

// The eleven driver arguments, in their order.
struct DriverArgs {
    std::string runLabel;         // 1  engine argument 1
    int reserved = 0;             // 2  not used
    std::string frontEndContext;  // 3  front-end hook and engine argument 2
    std::string conversionType;   // 4  slot 1
    std::string source;           // 5  slot 2
    std::string destination;      // 6  slots 3 and 5
    std::string options;          // 7  slot 4
    std::string extraValue;       // 8  front-end hook and engine argument 3
    std::string settingsFolder;   // 9  front-end hook and engine argument 4
    std::string pathSeparator;    // 10 put between a folder and a file name
    int displayMode = 0;          // 11 3: call the front-end hook first
};

// Process exit statuses of a job.
enum ExitStatus {
    kExitConverted = 0,       // the job did all it was asked
    kExitNotConverted = 1,    // it did not: nothing converted, output lost or refused, no record
    kExitBlankParameter = 2,  // conversion type or source was blank
};

struct DriverResult {
    std::string runLog;  // the complete run-log text
    int exitStatus = kExitNotConverted;
    long long recordsWritten = 0;  // records the engine wrote (file or database)
    std::string outcome;  // the console's line on what the job did
};

using EngineCall = std::function<EngineResult(const EngineArgs&, RunContext&)>;

// Runs one job. The engine is a parameter so callers can observe or replace it.
DriverResult CTLD48403(const DriverArgs& args, RunContext& ctx,
                       const EngineCall& engine = convertFile);

// One source file's part of a job, from the source decision to the engine's
// lines (what a single-file job logs between its option lines and its
// closing lines). Folder jobs run it once per file.
struct FileJobResult {
    std::string runLog;
    int exitStatus = kExitNotConverted;
    long long recordsWritten = 0;
    std::string outcome;
    std::string sideLog;  // debug text and map log kept out of their files
};
FileJobResult runFileJob(const DriverArgs& args, RunContext& ctx, const EngineCall& engine, JobParams job,
                         const JobSettings& settings, int displayMode, MapCache* maps = nullptr);

// Whether the conversion type names a conversion (or "X12,ODBC" with an
// existing database map).
bool knownConversionType(const std::string& type, const JobSettings& settings);

// Front-end hook, where an interactive front end would let the user fill in
// the job. The console program has none: the job comes back unchanged.
JobParams CTLD48401(const std::string& frontEndContext, const std::string& settingsFolder,
                    const std::string& extraValue, const std::string& pathSeparator,
                    const JobParams& job);

// Folder test. Folder sources are not offered, so every path answers false.
bool LISDIR(const std::string& path);

// CTL48403D: a file name given the extension of the conversion type.
// Extension mode 1: the name up to its first "." plus "." and characters 5 to 7
// of the conversion type in lower case; a name without "." comes back whole.
// Any other mode returns the name unchanged.
std::string typeExtensionName(const std::string& name, const std::string& conversionType,
                              int extensionMode);

// CTL48400Q: a file name with its extension replaced.
// Keep mode 1 returns the name unchanged; otherwise the part after the last
// "." of the whole path is replaced by `extension` (appended when none).
std::string replaceExtension(const std::string& name, const std::string& extension, int keepMode);

// Overwrite question. The console program asks nothing and answers yes.
bool MSGNOYES(const std::string& message, const std::string& title);

}  // namespace brolvin
