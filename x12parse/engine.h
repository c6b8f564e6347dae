// The conversion engine: one call converts the job's one source file.
#pragma once

#include <string>

#include "app/job_outcome.h"
#include "app/job_params.h"
#include "util/platform.h"

namespace brolvin {

// The twenty engine arguments, in their order.
struct EngineArgs {
    std::string runLabel;               // 1
    std::string frontEndContext;        // 2 (not used)
    std::string extraValue;             // 3 (not used)
    std::string settingsFolder;         // 4 (not used)
    JobParams job;                      // 5
    std::string debug;                  // 6 "DEBUG" word or ""
    std::string mapName;                // 7 "MAP=" value
    std::string runLogName;             // 8 (not used)
    std::string errorFiles;             // 9 (not used)
    int mapLog = 0;                     // 10
    int displayMode = 0;                // 11
    std::string mapPath;                // 12 "MAPPATH=" value
    int renameWithMapName = 0;          // 13
    std::string pathSeparator;          // 14
    std::string requestedDestination;   // 15
    std::string defaultMapPath;         // 16 "DEFAULTMAPPATH=" value
    int deleteSource = 0;               // 17
    int segmentCrLf = 0;                // 18
    std::string merge;                  // 19 "MF" word or ""
    std::string databaseMapName;        // 20
};

// The run-log line of a file the job would write or delete that is the
// source itself (by identity, not by name); the file's name follows.
inline constexpr const char* kSameFileAsSourceLine = " - Same File As Source : ";

// What one call did. Every way a call can fall short of what was asked is a
// flag here and is tested in succeeded(), which alone decides both the
// deletion of the source under "DS" and the job's exit status: a new kind
// of failure is one more flag, set where it is found and added to
// succeeded().
struct EngineResult {
    std::string log;              // run-log text the driver appends unchanged
    bool mapMissing = false;      // the mapping error ended the call
    bool writeFailed = false;     // creating, appending to or publishing an output failed
    std::string failedFile;       // the file whose create or append failed
    bool stopped = false;         // a check (output names, an unreadable kind of input) stopped the call
    bool noRecords = false;       // the source held transaction sets, yet no record was written
    bool readFailed = false;      // the source could not be read to its end
    bool deleteFailed = false;    // "DS" was due but the source could not be deleted
    long long recordsWritten = 0; // records written to the output file or the database
    long long failedTableWrites = 0;  // X12,ODBC: rows that did not reach their table
    // An input beyond its size limit stopped the job (the run log says which).
    bool inputRefused = false;
    FirstFailure failure;   // the first of the failures above, in words
    std::string output;     // the file the records went to, after any "RPMN" rename
    std::string mapFile;    // the name of the map file the call loaded

    bool succeeded() const {
        return !mapMissing && !writeFailed && !stopped && !noRecords && !readFailed && !deleteFailed &&
               failedTableWrites == 0 && !inputRefused;
    }
};

EngineResult CTL48400A(const EngineArgs& args, RunContext& ctx);

}  // namespace brolvin
