// The previous-segment history ("pba"): the eight segments last pushed,
// newest first.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace brolvin {

using SegmentHistory = std::array<std::string, 8>;

// Moves every entry one place on (the last falls off) and puts `segment`
// into entry 1 (index 0).
void CTL48400S(SegmentHistory& history, std::string_view segment);

}  // namespace brolvin
