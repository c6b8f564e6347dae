// A set of field-table positions kept as bits, visited in table order. The
// conversion keeps one of these naming every field whose Value or Occurrence
// Count may differ from empty and 0, so writing and clearing a record visit
// the few fields a claim sets instead of the whole table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace brolvin {

class FieldBits {
public:
    explicit FieldBits(size_t positions = 0) : words_((positions + 63) / 64, 0) {}

    size_t wordCount() const { return words_.size(); }
    uint64_t word(size_t w) const { return words_[w]; }
    uint64_t& word(size_t w) { return words_[w]; }

    void set(size_t i) { words_[i >> 6] |= uint64_t{1} << (i & 63); }
    void reset(size_t i) { words_[i >> 6] &= ~(uint64_t{1} << (i & 63)); }
    bool test(size_t i) const { return (words_[i >> 6] >> (i & 63)) & 1; }
    void setAll(size_t positions) {
        for (size_t i = 0; i < positions; ++i) set(i);
    }

    // Calls f(position) for every position in both sets, ascending. `f` may
    // change either set for positions it has been given.
    template <class F>
    friend void forEachInBoth(const FieldBits& a, const FieldBits& b, F&& f) {
        const size_t n = a.words_.size() < b.words_.size() ? a.words_.size() : b.words_.size();
        for (size_t w = 0; w < n; ++w)
            for (uint64_t m = a.words_[w] & b.words_[w]; m != 0; m &= m - 1)
                f((w << 6) + static_cast<size_t>(__builtin_ctzll(m)));
    }
    // Whether `pred(position)` holds for a position in both sets; stops at
    // the first.
    template <class P>
    friend bool anyInBoth(const FieldBits& a, const FieldBits& b, P&& pred) {
        const size_t n = a.words_.size() < b.words_.size() ? a.words_.size() : b.words_.size();
        for (size_t w = 0; w < n; ++w)
            for (uint64_t m = a.words_[w] & b.words_[w]; m != 0; m &= m - 1)
                if (pred((w << 6) + static_cast<size_t>(__builtin_ctzll(m)))) return true;
        return false;
    }
    template <class F>
    void forEach(F&& f) const {
        for (size_t w = 0; w < words_.size(); ++w)
            for (uint64_t m = words_[w]; m != 0; m &= m - 1) f((w << 6) + static_cast<size_t>(__builtin_ctzll(m)));
    }

private:
    std::vector<uint64_t> words_;
};

}  // namespace brolvin
