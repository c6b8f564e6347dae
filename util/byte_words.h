// Testing eight bytes at a time for a given byte, for scans over short
// texts (segments, elements) where a library call per search costs more
// than the search.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace brolvin {

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

// The high bit of each byte of the result is set exactly where `word` holds
// `byte`; every other bit is 0.
inline uint64_t bytesEqual(uint64_t word, char byte) {
    constexpr uint64_t kOnes = 0x0101010101010101ULL;
    constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL;
    const uint64_t x = word ^ (kOnes * static_cast<unsigned char>(byte));
    return ~(((x & kLow7) + kLow7) | x | kLow7);
}

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

}  // namespace brolvin
