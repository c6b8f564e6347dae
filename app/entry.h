// The entry procedure: banner, parameter echo, one job, completion line.
#pragma once

#include <string>
#include <vector>

#include "core/version.h"
#include "util/platform.h"

namespace brolvin {

// Runs one job from the command-line parameters (without the program name)
// and returns the process exit status.
int MAIN(const std::vector<std::string>& params, Platform& platform);

}  // namespace brolvin
