#include "core/element_split.h"

namespace brolvin {

std::string_view elementView(std::string_view segment, long long index, char separator) {
    if (index < 0) return {};
    long long counter = 0;
    size_t start = 0;
    for (size_t i = 0; i < segment.size(); ++i) {
        if (segment[i] != separator) continue;
        if (counter == index) return segment.substr(start, i - start);
        ++counter;
        start = i + 1;
    }
    std::string_view last = segment.substr(start);
    if (counter == index) return last;
    // Index beyond the last element: the scan's leftover is dropped unless it
    // holds only spaces.
    for (char c : last)
        if (c != ' ') return {};
    return last;
}

std::string CTL39400AU(std::string_view segment, long long index, char separator) {
    return std::string(elementView(segment, index, separator));
}

}  // namespace brolvin
