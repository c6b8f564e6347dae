// The program's version texts, each with its leading space, as the banner,
// the run log and the map log show them. CMake reads the version from here
// for the packages.
#pragma once

namespace brolvin {

inline constexpr const char* VERNUM = " 1.25C-31";
inline constexpr const char* SUBVER = " 1.20C-28";

}  // namespace brolvin
