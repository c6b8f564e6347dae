// The conversion engine: one call converts the job's one source file.
#pragma once

#include <string>

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

struct EngineResult {
    std::string log;             // run-log text the driver appends unchanged
    bool mapMissing = false;     // the mapping error ended the call
    bool writeFailed = false;    // creating or appending to the destination failed
    std::string failedFile;      // the file whose create or append failed
    // An input beyond its size limit stopped the job (the run log says which).
    bool inputRefused = false;
};

EngineResult CTL48400A(const EngineArgs& args, RunContext& ctx);

}  // namespace brolvin
