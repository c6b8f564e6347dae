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
        if (key == 0 || keys_.empty()) return nullptr;
        for (size_t at = slot(key);; at = (at + 1) & (keys_.size() - 1)) {
            if (keys_[at] == key) return &values_[at];
            if (keys_[at] == 0) return nullptr;
        }
    }

    // Adds `key` (not yet present) with `value`; null when the key cannot be
    // packed or the table is full.
    T* insert(uint64_t key, T value) {
        if (key == 0 || count_ >= kMaxEntries) return nullptr;
        if ((count_ + 1) * 2 > keys_.size()) grow();
        size_t at = slot(key);
        while (keys_[at] != 0) at = (at + 1) & (keys_.size() - 1);
        keys_[at] = key;
        values_[at] = std::move(value);
        ++count_;
        return &values_[at];
    }

    void clear() {
        keys_.clear();
        values_.clear();
        count_ = 0;
    }

private:
    size_t slot(uint64_t key) const {
        return static_cast<size_t>((key * 0x9E3779B97F4A7C15ULL) >> 40) & (keys_.size() - 1);
    }
    void grow() {
        std::vector<uint64_t> oldKeys = std::move(keys_);
        std::vector<T> oldValues = std::move(values_);
        const size_t size = oldKeys.empty() ? 64 : oldKeys.size() * 2;
        keys_.assign(size, 0);
        values_.assign(size, T{});
        count_ = 0;
        for (size_t i = 0; i < oldKeys.size(); ++i)
            if (oldKeys[i] != 0) insert(oldKeys[i], std::move(oldValues[i]));
    }

    std::vector<uint64_t> keys_;
    std::vector<T> values_;
    size_t count_ = 0;
};

}  // namespace brolvin
