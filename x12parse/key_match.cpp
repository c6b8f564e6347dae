#include "x12parse/key_match.h"

#include <cstring>

#include "util/text.h"
#include "x12parse/element_split.h"

namespace brolvin {

SegmentElements::SegmentElements(std::string_view segment, char separator)
    : segment_(segment), separator_(separator) {
    const char* p = segment.data();
    const char* end = p + segment.size();
    while (count_ < 32) {
        const char* q = static_cast<const char*>(std::memchr(p, static_cast<unsigned char>(separator),
                                                             static_cast<size_t>(end - p)));
        if (q == nullptr) {
            parts_[count_++] = std::string_view(p, static_cast<size_t>(end - p));
            break;
        }
        parts_[count_++] = std::string_view(p, static_cast<size_t>(q - p));
        p = q + 1;
    }
}

std::string_view SegmentElements::element(size_t index) const {
    if (index < count_ && index + 1 < count_) return parts_[index];
    if (index + 1 == count_ && index < 31) return parts_[index];
    // Rare: more than 31 elements, or beyond the end; fall back to the full split rule.
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
