// The entry procedure: banner, parameter echo, one job, completion line.
#pragma once

#include <string>
#include <vector>

#include "util/platform.h"

namespace brolvin {

extern const char* const VERNUM;  // " 1.25C-31"
extern const char* const SUBVER;  // " 1.20C-28"

// Runs one job from the command-line parameters (without the program name)
// and returns the process exit status.
int MAIN(const std::vector<std::string>& params, Platform& platform);

}  // namespace brolvin
