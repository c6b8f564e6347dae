// Per-identifier data found by the segment identifier packed into an integer:
// identifiers are two or three bytes, so a lookup is a multiply and a probe or
// two instead of hashing and comparing a string. Identifiers longer than seven
// bytes are not packed; the table holds at most a fixed number of entries, so
// a file of varied identifiers cannot grow it without bound. Callers work
// without the table for what it does not hold.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace brolvin {

// The identifier's bytes with its length in the low byte (never 0); 0 when
// the identifier is too long to pack.
inline uint64_t packIdentifier(std::string_view id) {
    if (id.size() > 7) return 0;
    uint64_t key = id.size() + 1;
    for (size_t i = 0; i < id.size(); ++i) key |= uint64_t{static_cast<unsigned char>(id[i])} << (8 * (i + 1));
    return key;
}

template <class T>
class IdentifierTable {
public:
    static constexpr size_t kMaxEntries = 4096;

    // The entry of `key`, or null.
    T* find(uint64_t key) {
        if (key == 0 || slots_.empty()) return nullptr;
        for (size_t at = slot(key);; at = (at + 1) & (slots_.size() - 1)) {
            if (slots_[at].key == key) return &slots_[at].value;
            if (slots_[at].key == 0) return nullptr;
        }
    }

    // Adds `key` (not yet present) with `value`; null when the key cannot be
    // packed or the table is full.
    T* insert(uint64_t key, T value) {
        if (key == 0 || count_ >= kMaxEntries) return nullptr;
        if ((count_ + 1) * 2 > slots_.size()) grow();
        size_t at = slot(key);
        while (slots_[at].key != 0) at = (at + 1) & (slots_.size() - 1);
        slots_[at] = Slot{key, std::move(value)};
        ++count_;
        return &slots_[at].value;
    }

    void clear() {
        slots_.clear();
        count_ = 0;
    }

private:
    // Key and value side by side: a look-up reads one place in memory.
    struct Slot {
        uint64_t key = 0;
        T value{};
    };
    size_t slot(uint64_t key) const {
        return static_cast<size_t>((key * 0x9E3779B97F4A7C15ULL) >> 40) & (slots_.size() - 1);
    }
    void grow() {
        std::vector<Slot> old = std::move(slots_);
        slots_.assign(old.empty() ? 64 : old.size() * 2, Slot{});
        count_ = 0;
        for (Slot& s : old)
            if (s.key != 0) insert(s.key, std::move(s.value));
    }

    std::vector<Slot> slots_;
    size_t count_ = 0;
};

}  // namespace brolvin
