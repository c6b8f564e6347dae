#include "x12parse/key_match.h"

#include <bit>

#include "util/byte_words.h"
#include "util/text.h"
#include "core/element_split.h"
#include "x12parse/identifier_table.h"

namespace brolvin {

namespace {

// packIdentifier of the segment's first `length` bytes; with eight bytes of
// segment at hand on a little-endian machine, one read and a mask.
uint64_t packedIdentifierOf(const char* data, size_t n, size_t length) {
    if constexpr (std::endian::native == std::endian::little) {
        if (n >= 8 && length <= 7) {
            const uint64_t bytes = length == 0 ? 0 : loadWord(data) & (~uint64_t{0} >> (64 - 8 * length));
            return (length + 1) | (bytes << 8);
        }
    }
    return packIdentifier(std::string_view(data, length));
}

}  // namespace

SegmentElements::SegmentElements(std::string_view segment, char separator)
    : segment_(segment), separator_(separator) {
    const char* data = segment.data();
    const size_t n = segment.size();
    // Counted in locals (the member is written once at the end): each cut
    // ends one element; after 31 the rest of the segment is the 32nd.
    Part* parts = parts_;
    size_t count = 0;
    size_t start = 0;
    auto cut = [&](size_t at) {
        parts[count++] = Part{data + start, at - start};
        start = at + 1;
    };
    auto split = [&] {
        // Sixteen or eight bytes at a time, each separator found by its bit;
        // the last bytes are read with the block that ends at the segment's
        // end, their bits before `i` masked off (already split).
        size_t i = 0;
#ifdef BROLVIN_BYTES16
        const Bytes16 separators = repeated16(separator);
        if (n >= 16) {
            for (; i + 16 <= n; i += 16)
                for (unsigned hits = bytesEqual16(loadBytes16(data + i), separators); hits != 0; hits &= hits - 1) {
                    cut(i + static_cast<size_t>(lowestSetBit(hits)));
                    if (count == 31) return;
                }
            if (i == n) return;
            const size_t base = n - 16;
            for (unsigned hits = bytesEqual16(loadBytes16(data + base), separators) & (~0u << (i - base)); hits != 0;
                 hits &= hits - 1) {
                cut(base + static_cast<size_t>(lowestSetBit(hits)));
                if (count == 31) return;
            }
            return;
        }
#endif
        for (; i + 8 <= n; i += 8)
            for (uint64_t hits = bytesEqual(loadWord(data + i), separator); hits != 0; hits &= hits - 1) {
                cut(i + static_cast<size_t>(lowestSetBit(hits) >> 3));
                if (count == 31) return;
            }
        if (i < n && n >= 8) {
            const size_t base = n - 8;
            for (uint64_t hits = bytesEqual(loadWord(data + base), separator) & (~uint64_t{0} << (8 * (i - base)));
                 hits != 0; hits &= hits - 1) {
                cut(base + static_cast<size_t>(lowestSetBit(hits) >> 3));
                if (count == 31) return;
            }
            return;
        }
        for (; i < n; ++i)
            if (data[i] == separator) {
                cut(i);
                if (count == 31) return;
            }
    };
    split();
    parts[count++] = Part{data + start, n - start};
    count_ = count;
    packed_ = packedIdentifierOf(data, n, parts[0].size);
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
