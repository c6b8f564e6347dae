// Finding the next byte of a small set in a block, 64 bytes at a time: the
// readers of X12 generation move from delimiter to delimiter instead of
// testing every byte, which matters when values and tags are a few bytes
// long and a call of memchr per value costs more than the value itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "util/byte_words.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define BROLVIN_BYTE_SCAN_SSE2 1
#endif

namespace brolvin {


#ifdef BROLVIN_BYTE_SCAN_SSE2
// The 16 compare results of `hit` as bits 16*part to 16*part+15.
inline std::uint64_t laneBits(__m128i hit, int part) {
    return static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm_movemask_epi8(hit)) & 0xFFFFu)
           << (16 * part);
}
#endif

// Walks a block 64 bytes at a time: `Finder::maskAt(base)` gives the bytes
// of interest among the 64 from `base` (fewer at the block end) as bits.
template <class Finder>
class BlockMaskWalk {
public:
    std::size_t size() const { return size_; }

    // Position of the first byte of interest at or after `from`; size() when
    // there is none. Called once per delimiter in the readers' inner loops,
    // so it is always inlined.
#if defined(__GNUC__) || defined(__clang__)
    __attribute__((always_inline))
#endif
    std::size_t next(std::size_t from) {
        if (from >= size_) return size_;
        std::size_t base = from & ~std::size_t{63};
        if (base != base_) load(base);
        std::uint64_t m = mask_ & (~std::uint64_t{0} << (from - base));
        while (m == 0) {
            base += 64;
            if (base >= size_) return size_;
            load(base);
            m = mask_;
        }
        return base + static_cast<std::size_t>(lowestSetBit(m));
    }

protected:
    explicit BlockMaskWalk(std::string_view block) : data_(block.data()), size_(block.size()) {}

    const char* data_;
    std::size_t size_;

private:
    void load(std::size_t base) {
        base_ = base;
        mask_ = static_cast<const Finder*>(this)->maskAt(base);
    }

    std::size_t base_ = ~std::size_t{0};
    std::uint64_t mask_ = 0;
};

class ByteSetScanner : public BlockMaskWalk<ByteSetScanner> {
public:
    // Up to four bytes; pass a byte twice to look for fewer.
    ByteSetScanner(std::string_view block, char a, char b, char c, char d)
        : BlockMaskWalk(block), set_{a, b, c, d}, count_(4) {}
    // Two bytes, compared faster.
    ByteSetScanner(std::string_view block, char a, char b)
        : BlockMaskWalk(block), set_{a, b, a, b}, count_(2) {}

    // The set's bytes among the 64 from `base` on.
    std::uint64_t maskAt(std::size_t base) const {
#ifdef BROLVIN_BYTE_SCAN_SSE2
        if (base + 64 <= size_) {
            const __m128i a = _mm_set1_epi8(set_[0]), b = _mm_set1_epi8(set_[1]);
            const __m128i c = _mm_set1_epi8(set_[2]), d = _mm_set1_epi8(set_[3]);
            std::uint64_t m = 0;
            for (int part = 0; part < 4; ++part) {
                const __m128i v =
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(data_ + base + 16 * part));
                __m128i hit = _mm_or_si128(_mm_cmpeq_epi8(v, a), _mm_cmpeq_epi8(v, b));
                if (count_ > 2)
                    hit = _mm_or_si128(hit, _mm_or_si128(_mm_cmpeq_epi8(v, c), _mm_cmpeq_epi8(v, d)));
                m |= laneBits(hit, part);
            }
            return m;
        }
#endif
        std::uint64_t m = 0;
        const std::size_t end = base + 64 < size_ ? base + 64 : size_;
        for (std::size_t i = base; i < end; ++i) {
            const char ch = data_[i];
            if (ch == set_[0] || ch == set_[1] || ch == set_[2] || ch == set_[3])
                m |= std::uint64_t{1} << (i - base);
        }
        return m;
    }

private:
    char set_[4];
    int count_;
};

// Finds each "<" that is not followed by "/": the start of every tag but
// the closing ones (a "<" at the very end of the block is found too).
class OpeningTagFinder : public BlockMaskWalk<OpeningTagFinder> {
public:
    explicit OpeningTagFinder(std::string_view block) : BlockMaskWalk(block) {}

    std::uint64_t maskAt(std::size_t base) const {
#ifdef BROLVIN_BYTE_SCAN_SSE2
        if (base + 65 <= size_) {
            const __m128i lt = _mm_set1_epi8('<'), slash = _mm_set1_epi8('/');
            std::uint64_t m = 0;
            for (int part = 0; part < 4; ++part) {
                const char* at = data_ + base + 16 * part;
                const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
                const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 1));
                const __m128i hit = _mm_andnot_si128(_mm_cmpeq_epi8(w, slash), _mm_cmpeq_epi8(v, lt));
                m |= laneBits(hit, part);
            }
            return m;
        }
#endif
        std::uint64_t m = 0;
        const std::size_t end = base + 64 < size_ ? base + 64 : size_;
        for (std::size_t i = base; i < end; ++i)
            if (data_[i] == '<' && (i + 1 >= size_ || data_[i + 1] != '/'))
                m |= std::uint64_t{1} << (i - base);
        return m;
    }
};

// Whether the `length` bytes from `text` hold a carriage return or a line
// feed; `blockEnd` bounds what may be read beyond them.
inline bool hasLineEnd(const char* text, std::size_t length, const char* blockEnd) {
#ifdef BROLVIN_BYTE_SCAN_SSE2
    if (length <= 16 && blockEnd - text >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text));
        const __m128i hit = _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('\r')),
                                         _mm_cmpeq_epi8(v, _mm_set1_epi8('\n')));
        const unsigned bits = static_cast<unsigned>(_mm_movemask_epi8(hit)) & ((1u << length) - 1u);
        return bits != 0;
    }
#else
    (void)blockEnd;
#endif
    for (std::size_t i = 0; i < length; ++i)
        if (text[i] == '\r' || text[i] == '\n') return true;
    return false;
}

}  // namespace brolvin
