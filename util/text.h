// Small text helpers shared by every subsystem.
#pragma once

#include <string>
#include <string_view>

namespace brolvin {

inline constexpr const char* kCrLf = "\r\n";
inline constexpr char kEofMark = 0x1A;

// Leading spaces, tabs, CR and LF removed; trailing spaces removed.
std::string trimLine(std::string_view s);
// Only spaces removed, at both ends.
std::string trimSpaces(std::string_view s);
std::string trimRightSpaces(std::string_view s);
std::string trimLeftSpaces(std::string_view s);
// trimSpaces without a copy: a view of `s` without its leading and trailing spaces.
inline std::string_view spacesTrimmedView(std::string_view s) {
    size_t b = 0;
    while (b < s.size() && s[b] == ' ') ++b;
    size_t e = s.size();
    while (e > b && s[e - 1] == ' ') --e;
    return s.substr(b, e - b);
}
std::string toUpper(std::string_view s);
std::string toLower(std::string_view s);
// Empty or spaces only.
inline bool isBlank(std::string_view s) {
    for (char c : s)
        if (c != ' ') return false;
    return true;
}

// The program's begins-with match: true when `prefix` is empty or `text`
// begins with it.
inline bool beginsWith(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    // Prefixes are mostly segment identifiers and qualifiers: a few bytes
    // compared in place cost less than a library call.
    if (prefix.size() <= 8) {
        for (size_t i = 0; i < prefix.size(); ++i)
            if (text[i] != prefix[i]) return false;
        return true;
    }
    return text.compare(0, prefix.size(), prefix) == 0;
}
bool beginsWithNoCase(std::string_view text, std::string_view prefix);

// Line ends of the text inputs (map files, database maps, function files,
// lookup tables): a carriage return ends a line, and so does a line feed
// that does not directly follow one, so files written with CR LF, LF or CR
// alone read alike. Calls `onLine(std::string_view)` for every ended line
// (holding neither CR nor LF) and returns the text after the last line end.
template <class OnLine>
std::string_view forEachLine(std::string_view text, OnLine&& onLine) {
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '\r' && c != '\n') continue;
        if (c == '\n' && i > 0 && text[i - 1] == '\r') {
            start = i + 1;  // the LF of a CR LF
            continue;
        }
        onLine(text.substr(start, i - start));
        start = i + 1;
    }
    return text.substr(start);
}

// Leading-number rule: optional leading spaces, optional sign, digits;
// text that does not begin with a number reads as 0.
long long leadingNumber(std::string_view s);

// Number right-aligned in `width` characters (wider numbers are not cut).
std::string rightAlign(long long value, int width);
std::string rightAlign(std::string_view text, int width);

}  // namespace brolvin
