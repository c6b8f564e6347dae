#include "x12parse/key_match.h"

#include "util/text.h"
#include "x12parse/element_split.h"

namespace brolvin {

SegmentElements::SegmentElements(std::string_view segment, char separator)
    : segment_(segment), separator_(separator) {
    // Elements are short: one pass over the bytes beats a library search per element.
    const char* data = segment.data();
    const size_t n = segment.size();
    size_t start = 0;
    for (size_t i = 0; i < n; ++i) {
        if (data[i] != separator) continue;
        parts_[count_++] = std::string_view(data + start, i - start);
        start = i + 1;
        if (count_ == 31) break;
    }
    parts_[count_++] = std::string_view(data + start, n - start);
}

// Rare: more than 31 elements, or beyond the end; the full split rule decides.
std::string_view SegmentElements::elementBeyondSplit(size_t index) const {
    return elementView(segment_, static_cast<long long>(index), separator_);
}

bool keyEntryOneMatches(const KeyList& list, const SegmentElements& segment) {
    if (list.kind == KeyList::Kind::MatchesNothing || list.entries.empty()) return false;
    return beginsWith(list.entries[0], segment.identifier());
}

bool keyEntryMatches(const KeyList& list, size_t k, const SegmentElements& segment) {
    if (k < 2 || k > list.entries.size()) return false;
    return beginsWith(list.entries[k - 1], segment.element(k - 1));
}

}  // namespace brolvin
