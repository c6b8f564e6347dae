// Values in comma-separated text: a value that holds a double quote, a comma
// or a line end is written in double quotes (RFC 4180), every other value as
// it is, so files without such values are exactly as without quoting.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "util/byte_words.h"

namespace brolvin {

// The bytes that make a value need quotes, as a table: one look-up per byte.
struct CsvQuotedBytes {
    bool table[256] = {};
    constexpr CsvQuotedBytes() {
        table[static_cast<unsigned char>('"')] = true;
        table[static_cast<unsigned char>(',')] = true;
        table[static_cast<unsigned char>('\r')] = true;
        table[static_cast<unsigned char>('\n')] = true;
    }
};
inline constexpr CsvQuotedBytes kCsvQuotedBytes{};

// Whether eight bytes may hold one of those: a double quote or a comma
// (each test exact for the word as a whole) or a byte below 0x0E (line
// ends; other control bytes pass too and are sorted out by the table).
inline bool csvWordMayNeedQuotes(uint64_t word) {
    constexpr uint64_t kOnes = 0x0101010101010101ULL;
    const uint64_t quote = word ^ (kOnes * '"');
    const uint64_t comma = word ^ (kOnes * ',');
    return (((word - kOnes * 0x0E) & ~word) | ((quote - kOnes) & ~quote) | ((comma - kOnes) & ~comma)) &
           (kOnes * 0x80);
}

inline bool csvBytesNeedQuotes(const char* p, size_t n) {
    const bool* table = kCsvQuotedBytes.table;
    if (n < 4) return shortTextHolds(p, n, table);
    bool found = false;
    for (size_t i = 0; i < n; ++i) found |= table[static_cast<unsigned char>(p[i])];
    return found;
}

// Up to three bytes by the table; then eight bytes at a time (a value of
// up to eight as one word, the last word of a longer one overlapping the one
// before); only a value with a word that may hold such a byte is looked at
// byte by byte.
inline bool csvNeedsQuotes(std::string_view value) {
    const char* p = value.data();
    const size_t n = value.size();
    if (n < 4) return n > 0 && csvBytesNeedQuotes(p, n);
    return anyWordMayHold(p, n, csvWordMayNeedQuotes) && csvBytesNeedQuotes(p, n);
}

// Length of the value as written.
inline size_t csvWrittenSize(std::string_view value) {
    if (!csvNeedsQuotes(value)) return value.size();
    size_t quotes = 0;
    for (char c : value) quotes += c == '"';
    return value.size() + quotes + 2;
}

// Writes the quoted form of `value` at `out` (csvWrittenSize bytes); returns
// the end.
inline char* writeCsvQuoted(char* out, std::string_view value) {
    *out++ = '"';
    for (char c : value) {
        *out++ = c;
        if (c == '"') *out++ = '"';
    }
    *out++ = '"';
    return out;
}

// The values of one line (without its line end): cut at commas outside
// double quotes; a quoted value loses its quotes and a doubled quote in it
// stands for one.
inline std::vector<std::string> csvLineValues(std::string_view line) {
    std::vector<std::string> values(1);
    bool quoted = false, valueStart = true;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c != '"')
                values.back().push_back(c);
            else if (i + 1 < line.size() && line[i + 1] == '"')
                values.back().push_back(line[++i]);
            else
                quoted = false;
        } else if (c == ',') {
            values.emplace_back();
            valueStart = true;
            continue;
        } else if (c == '"' && valueStart) {
            quoted = true;
        } else {
            values.back().push_back(c);
        }
        valueStart = false;
    }
    return values;
}

inline void appendCsvValue(std::string& out, std::string_view value) {
    if (!csvNeedsQuotes(value)) {
        out.append(value);
        return;
    }
    size_t at = out.size();
    out.resize(at + csvWrittenSize(value));
    writeCsvQuoted(out.data() + at, value);
}

}  // namespace brolvin
