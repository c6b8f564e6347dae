// Matching a segment against a key-field list of the map.
#pragma once

#include <string_view>

#include <cstdint>

#include "core/field_table.h"

namespace brolvin {

// The segment's identifier and elements, split once and reused by every test.
class SegmentElements {
public:
    SegmentElements(std::string_view segment, char separator);
    std::string_view identifier() const { return parts_[0].view(); }
    // The identifier packed for per-identifier tables (packIdentifier), worked
    // out once for every look-up of the segment.
    uint64_t packedIdentifier() const { return packed_; }
    std::string_view element(size_t index) const {
        if (index + 1 < count_ || (index + 1 == count_ && index < 31)) return parts_[index].view();
        return elementBeyondSplit(index);
    }

private:
    std::string_view elementBeyondSplit(size_t index) const;

    std::string_view segment_;
    char separator_;
    // Plain pointer and length, left uninitialised: only the first count_
    // are ever written or read, so a split costs nothing for unused slots.
    struct Part {
        const char* data;
        size_t size;
        std::string_view view() const { return std::string_view(data, size); }
    };
    Part parts_[32];
    size_t count_ = 0;
    uint64_t packed_ = 0;
};

// Entry 1 of the list matches the identifier: the list has an entry 1 and it
// begins with the identifier (always true for an empty identifier).
bool keyEntryOneMatches(const KeyList& list, const SegmentElements& segment);
// Entry k (k >= 2, 1-based) matches element k-1: the entry begins with the
// element, or the element is empty.
bool keyEntryMatches(const KeyList& list, size_t k, const SegmentElements& segment);

}  // namespace brolvin
