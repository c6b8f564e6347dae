// The texts the program prints about itself: its version lines and the usage
// text asked for with --help and its short forms.
#pragma once

#include <string>
#include <vector>

namespace brolvin {

// What the first command-line parameter asks of the program itself.
enum class SelfRequest { kNone, kUsage, kVersion };

// "--help", "-h", "-?" and "/?" ask for the usage text, "--version" for the
// version lines; anything else (no conversion type begins with "-" or "/?")
// is a job.
SelfRequest selfRequest(const std::vector<std::string>& params);

// The product line and the version line, the first two lines of the banner.
std::vector<std::string> versionLines();

// Synopsis, conversion types, option words, exit statuses and examples.
std::vector<std::string> usageLines();

}  // namespace brolvin
