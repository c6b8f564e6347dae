#include "x12parse/key_match.h"

#include <cstdint>
#include <cstring>

#include "util/text.h"
#include "x12parse/element_split.h"

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
    // Eight bytes at a time: the high bit of each byte of `zero` is set
    // exactly where the word holds the separator.
    constexpr uint64_t kOnes = 0x0101010101010101ULL;
    constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL;
    const uint64_t pattern = kOnes * static_cast<unsigned char>(separator);
    size_t i = 0;
    bool more = true;
    for (; more && i + 8 <= n; i += 8) {
        uint64_t word;
        std::memcpy(&word, data + i, 8);
        uint64_t x = word ^ pattern;
        uint64_t zero = ~(((x & kLow7) + kLow7) | x | kLow7);
        while (zero != 0 && more) {
            more = cut(i + static_cast<size_t>(__builtin_ctzll(zero) >> 3));
            zero &= zero - 1;
        }
    }
    for (; more && i < n; ++i)
        if (data[i] == separator) more = cut(i);
    parts_[count_++] = Part{data + start, n - start};
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
