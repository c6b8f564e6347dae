// The job parameter set the driver builds and hands to the engine.
#pragma once

#include <string>

namespace brolvin {

struct JobParams {
    std::string conversionType;      // slot 1
    std::string source;              // slot 2
    std::string destination;         // slot 3
    std::string options;             // slot 4
    std::string currentDestination;  // slot 5: the file the engine writes
    std::string unused;              // slot 6: not set
};

// Option tester: true when some comma-separated word of the option list
// begins (upper-cased) with the word of the code: 1 "HO", 2 "OW", 3 "DEBUG",
// 4 "SL", 5 "ML". Any other code yields false.
bool CTL48400J(const JobParams& job, int code);

}  // namespace brolvin
