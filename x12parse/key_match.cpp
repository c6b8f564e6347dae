#include "x12parse/key_match.h"

#include "util/byte_words.h"
#include "util/text.h"
#include "core/element_split.h"

namespace brolvin {

SegmentElements::SegmentElements(std::string_view segment, char separator)
    : segment_(segment), separator_(separator) {
    const char* data = segment.data();
    const size_t n = segment.size();
    size_t start = 0;
    // Ends element count_ at `at`; false once 31 elements are split off (the
    // rest of the segment is then the 32nd).
    auto cut = [&](size_t at) {
        parts_[count_++] = Part{data + start, at - start};
        start = at + 1;
        return count_ < 31;
    };
    // Eight bytes at a time, each separator found by its bit.
    size_t i = 0;
    bool more = true;
    for (; more && i + 8 <= n; i += 8) {
        for (uint64_t hits = bytesEqual(loadWord(data + i), separator); hits != 0 && more; hits &= hits - 1)
            more = cut(i + static_cast<size_t>(lowestSetBit(hits) >> 3));
    }
    for (; more && i < n; ++i)
        if (data[i] == separator) more = cut(i);
    parts_[count_++] = Part{data + start, n - start};
}

// Beyond the last element, or more than 31 elements. A segment split whole
// needs no second scan: past its end the last element is kept only when it
// holds nothing but spaces.
std::string_view SegmentElements::elementBeyondSplit(size_t index) const {
    if (count_ < 32) {
        const std::string_view last = parts_[count_ - 1].view();
        return last.find_first_not_of(' ') == std::string_view::npos ? last : std::string_view();
    }
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
