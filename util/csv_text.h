// Values in comma-separated text: a value that holds a double quote, a comma
// or a line end is written in double quotes (RFC 4180), every other value as
// it is, so files without such values are exactly as without quoting.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace brolvin {

inline bool csvNeedsQuotes(std::string_view value) {
    unsigned found = 0;
    for (char c : value)
        found |= static_cast<unsigned>(c == '"') | static_cast<unsigned>(c == ',') |
                 static_cast<unsigned>(c == '\r') | static_cast<unsigned>(c == '\n');
    return found != 0;
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
