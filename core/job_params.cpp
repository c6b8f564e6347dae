#include "core/job_params.h"

#include <string_view>

#include "util/text.h"

namespace brolvin {

bool JobSettings::overwriteOn() const { return beginsWith(overwrite, "OW"); }

bool JobSettings::mergeOn() const { return beginsWith(merge, "MF"); }

bool hasOption(const JobParams& job, OptionCode code) {
    static constexpr std::string_view kWords[] = {"HO", "OW", "DEBUG", "SL", "ML"};
    const int index = static_cast<int>(code) - 1;
    if (index < 0 || index >= 5) return false;
    const std::string_view wanted = kWords[index];
    const std::string_view list = job.options;
    // A comma starts a new word.
    for (size_t start = 0;;) {
        const size_t comma = list.find(',', start);
        if (beginsWithNoCase(list.substr(start, comma == std::string_view::npos ? comma : comma - start), wanted))
            return true;
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    return false;
}

}  // namespace brolvin
