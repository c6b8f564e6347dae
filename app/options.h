// The splitting of the option list into option words and job settings.
#pragma once

#include <string>

#include "core/job_params.h"
#include "util/platform.h"

namespace brolvin {

// Splits the comma-separated option list into words, applies each word that
// begins (upper-cased) with a known code to `settings`, and returns the
// time-stamped run-log lines of the taken words in list order. Words that
// begin with no code are ignored silently.
std::string splitOptionList(const std::string& list, JobSettings& settings, RunContext& ctx);

}  // namespace brolvin
