#include "x12parse/engine.h"

namespace brolvin {

// The engine proper arrives with the conversion modes; until then the call
// converts nothing and returns the empty log text.
EngineResult CTL48400A(const EngineArgs&, RunContext&) { return {}; }

}  // namespace brolvin
