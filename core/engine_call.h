// The call of the conversion engine: what the job driver hands it for the
// job's one source file, and what comes back.
#pragma once

#include <string>

#include "core/job_outcome.h"
#include "core/job_params.h"
#include "core/map_cache.h"

namespace brolvin {

struct EngineArgs {
    std::string runLabel;              // shown in the map log's title
    JobParams job;                     // slot 5: the file the engine writes
    JobSettings settings;              // what the option list set
    int displayMode = 0;               // 0 or 2: the generation modes' progress display
    std::string pathSeparator;         // put between a folder and a file name
    std::string requestedDestination;  // the destination as given; "RPMN" renames beside it
    MapCache* maps = nullptr;          // maps already loaded by this job (folder jobs); null: load each
};

// The run-log line of a file the job would write or delete that is the
// source itself (by identity, not by name); the file's name follows.
inline constexpr const char* kSameFileAsSourceLine = " - Same File As Source : ";

// What one call did. Every way a call can fall short of what was asked is a
// flag here and is tested in succeeded(), which alone decides both the
// deletion of the source under "DS" and the job's exit status: a new kind
// of failure is one more flag, set where it is found together with its
// reason in `failure`, and added to succeeded().
struct EngineResult {
    std::string log;              // run-log text the driver appends unchanged
    bool mapMissing = false;      // the mapping error ended the call
    WriteOutcome write;           // creating, appending to or publishing an output
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
    // The debug text and the map log when the context keeps them out of
    // their files (a folder job's worker); "" otherwise.
    std::string sideLogText;

    bool succeeded() const {
        return !mapMissing && !write.failed && !stopped && !noRecords && !readFailed && !deleteFailed &&
               failedTableWrites == 0 && !inputRefused;
    }
};

}  // namespace brolvin
