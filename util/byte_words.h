// Testing eight bytes at a time for a given byte, for scans over short
// texts (segments, elements) where a library call per search costs more
// than the search.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define BROLVIN_BYTES16 1
#endif

namespace brolvin {

#ifdef BROLVIN_BYTES16
// Sixteen bytes at a time where the processor has the instructions for it:
// the sixteen bytes from `p` (any alignment) and, per byte, one bit of a
// mask where they hold a given byte.
using Bytes16 = __m128i;
inline Bytes16 loadBytes16(const char* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline Bytes16 repeated16(char byte) { return _mm_set1_epi8(byte); }
// Bit i is set where byte i of `block` equals the byte `pattern` repeats.
inline unsigned bytesEqual16(Bytes16 block, Bytes16 pattern) {
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, pattern)));
}
#endif

// The eight bytes from `p` as one word (any alignment).
inline uint64_t loadWord(const char* p) {
    uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return word;
}

// The bytes of a text of 4 to 8 bytes as one word, some repeated (two
// overlapping halves): the word holds every byte of the text and no other,
// for a test of all of them at once.
inline uint64_t loadShortText(const char* p, size_t n) {
    uint32_t front, back;
    std::memcpy(&front, p, 4);
    std::memcpy(&back, p + n - 4, 4);
    return front | (uint64_t{back} << 32);
}

// Whether the table marks the first, middle or last byte of a text of one to
// three bytes, which between them are all of its bytes.
inline bool shortTextHolds(const char* p, size_t n, const bool* table) {
    return table[static_cast<unsigned char>(p[0])] | table[static_cast<unsigned char>(p[n / 2])] |
           table[static_cast<unsigned char>(p[n - 1])];
}

// Whether `mayHold` passes any eight-byte word of a text of four or more
// bytes: up to eight as one word (loadShortText), a longer text word by word,
// its last word overlapping the one before. A cheap pre-test, so that only
// the rare text that may hold a byte of interest is looked at byte by byte.
template <class WordTest>
inline bool anyWordMayHold(const char* p, size_t n, WordTest mayHold) {
    if (n <= 8) return mayHold(loadShortText(p, n));
    for (size_t at = 0; at + 8 < n; at += 8)
        if (mayHold(loadWord(p + at))) return true;
    return mayHold(loadWord(p + n - 8));
}

// The high bit of each byte of the result is set exactly where `word` holds
// `byte`; every other bit is 0.
inline uint64_t bytesEqual(uint64_t word, char byte) {
    constexpr uint64_t kOnes = 0x0101010101010101ULL;
    constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL;
    const uint64_t x = word ^ (kOnes * static_cast<unsigned char>(byte));
    return ~(((x & kLow7) + kLow7) | x | kLow7);
}

// The first `byte` in [p, end), or null. Terminators are mostly a few dozen
// bytes apart: a block or two tested in place costs less than a library call.
inline const char* findByte(const char* p, const char* end, char byte);

// Position of the lowest set bit; `m` must not be 0.
inline int lowestSetBit(uint64_t m) {
#if defined(__GNUC__) || defined(__clang__)
    return __builtin_ctzll(m);
#else
    int n = 0;
    while ((m & 1) == 0) {
        m >>= 1;
        ++n;
    }
    return n;
#endif
}

inline const char* findByte(const char* p, const char* end, char byte) {
#ifdef BROLVIN_BYTES16
    const Bytes16 pattern = repeated16(byte);
    for (int blocks = 0; blocks < 4 && end - p >= 16; ++blocks, p += 16)
        if (const unsigned hits = bytesEqual16(loadBytes16(p), pattern)) return p + lowestSetBit(hits);
#endif
    return static_cast<const char*>(std::memchr(p, static_cast<unsigned char>(byte), static_cast<size_t>(end - p)));
}

// Copies n bytes (W <= n <= 2 W) as its first and its last W bytes, which
// may overlap.
template <size_t W>
inline void copyEnds(char* to, const char* from, size_t n) {
    char front[W], back[W];
    std::memcpy(front, from, W);
    std::memcpy(back, from + n - W, W);
    std::memcpy(to, front, W);
    std::memcpy(to + n - W, back, W);
}

// Copies n bytes; a short text (most Values and segments, the tags between
// them) with a few loads and stores that may overlap instead of a library
// call. The two texts must not overlap.
inline void copyText(char* to, const char* from, size_t n) {
    if (n > 64) {
        std::memcpy(to, from, n);
    } else if (n > 32) {
        copyEnds<32>(to, from, n);
    } else if (n > 16) {
        copyEnds<16>(to, from, n);
    } else if (n >= 8) {
        copyEnds<8>(to, from, n);
    } else if (n >= 4) {
        copyEnds<4>(to, from, n);
    } else if (n > 0) {
        to[0] = from[0];
        to[n / 2] = from[n / 2];
        to[n - 1] = from[n - 1];
    }
}

}  // namespace brolvin
