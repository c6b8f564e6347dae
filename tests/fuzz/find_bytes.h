// Finding a byte string in a fuzz input: through memmem where the system has
// it, as libFuzzer learns the searched bytes from that call.
#pragma once

#include <string_view>

namespace brolvin::fuzz {

// Position of the first `what` in `text`, or npos.
size_t findBytes(std::string_view text, std::string_view what);

}  // namespace brolvin::fuzz
