// The two modes of the conversion engine that build an X12 interchange from
// CSV or XML records.
#pragma once

#include <string>

#include "core/debug_log.h"
#include "core/field_table.h"
#include "util/platform.h"
#include "core/engine_call.h"

namespace brolvin {

struct GenerationResult {
    WriteOutcome write;       // creating or appending to the destination
    std::string runLog;        // time-stamped lines for the engine's run log
    long long recordsWritten = 0;  // records whose segments were appended
    bool readFailed = false;       // the source could not be read to its end
    bool outputInPlace = false;    // the interchange is complete under its own name
    bool stopped = false;      // the input could not be converted whole; no output is left
    // Why the run stopped on its input (a line, a tag, a text or a record
    // beyond its size limit), or "".
    std::string refusal;
    FirstFailure failure;  // the first failure other than a refusal, in words
};

// Runs the CSV mode ("CSV..." conversion types) or the XML mode ("XML...")
// for the job's source, writing one interchange to the job's current
// destination. Other conversion types do nothing. `map` is the loaded map;
// the XML mode with the option "ML" replaces its field table by the
// service-line expansion, and every mode leaves the last Values in it.
// Debug lines and entries go to the engine's `debug` log.
GenerationResult runGenerationMode(const EngineArgs& args, LoadedMap& map, RunContext& ctx,
                                   DebugLog& debug);

}  // namespace brolvin
