// The conversion engine: one call converts the job's one source file, in the
// direction its conversion type names.
#pragma once

#include "core/engine_call.h"
#include "util/platform.h"

namespace brolvin {

// CTL48400A, the conversion engine: chooses and loads the map, runs the
// conversion the type names, renames the output after the map ("RPMN"),
// deletes the source ("DS") and writes the debug log.
EngineResult convertFile(const EngineArgs& args, RunContext& ctx);

}  // namespace brolvin
