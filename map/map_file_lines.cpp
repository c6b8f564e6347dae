#include "map/map_file_lines.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <utility>

#include "util/text.h"

namespace brolvin {

namespace {

// trimLine without the copy: leading blanks, tabs and line ends, trailing
// spaces.
std::string_view trimmedLineView(std::string_view s) {
    size_t b = 0;
    while (b < s.size() && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r' || s[b] == '\n')) ++b;
    size_t e = s.size();
    while (e > b && s[e - 1] == ' ') --e;
    return s.substr(b, e - b);
}

}  // namespace

std::vector<std::string_view> splitMapLines(std::string& text) {
    if (text.find('\v') != std::string::npos) std::erase(text, '\v');
    std::vector<std::string_view> lines;
    const std::string_view all(text);
    size_t start = 0;
    // The next carriage return and line feed, each found with one scan.
    size_t cr = all.find('\r');
    size_t lf = all.find('\n');
    while (cr != std::string_view::npos || lf != std::string_view::npos) {
        const size_t i = std::min(cr, lf);
        // A line feed of its own ends a line too (files written with LF
        // alone); the one of a CR LF stays with the next line, whose
        // trimming removes it.
        if (i == cr || i == 0 || all[i - 1] != '\r') {
            lines.push_back(trimmedLineView(all.substr(start, i - start)));
            start = i + 1;
        }
        if (i == cr)
            cr = all.find('\r', i + 1);
        else
            lf = all.find('\n', i + 1);
    }
    if (start < all.size()) lines.push_back(trimmedLineView(all.substr(start)));
    return lines;
}

void splitPositions(std::string_view value, std::vector<std::string_view>& positions) {
    positions.clear();
    size_t start = 0;
    for (size_t comma = value.find(','); comma != std::string_view::npos;
         comma = value.find(',', start)) {
        positions.push_back(value.substr(start, comma - start));
        start = comma + 1;
    }
    std::string_view rest = value.substr(start);
    if (!isBlank(rest)) positions.push_back(rest);
}

std::vector<std::string_view> splitPositions(std::string_view value) {
    std::vector<std::string_view> positions;
    splitPositions(value, positions);
    return positions;
}

namespace {

constexpr std::string_view kKeyClearPrefix = "KEYCLEAR";

// "KEYCLEARn=": n must be digits only and name a level from 7 to 99.
bool readClearLine(std::string_view line, MapLine& out) {
    if (!beginsWithNoCase(line, kKeyClearPrefix)) return false;
    size_t i = kKeyClearPrefix.size();
    int level = 0;
    size_t digits = 0;
    while (i < line.size() && line[i] >= '0' && line[i] <= '9') {
        if (level <= kLastClearLevel) level = level * 10 + (line[i] - '0');
        ++digits;
        ++i;
    }
    if (digits == 0 || i >= line.size() || line[i] != '=') return false;
    if (level < kFirstClearLevel || level > kLastClearLevel) return false;
    out.kind = MapLineKind::KeyClear;
    out.value = line.substr(i + 1);
    out.clearLevel = level;
    return true;
}

}  // namespace

MapLine classifyMapLine(std::string_view line) {
    static constexpr std::array<std::pair<std::string_view, MapLineKind>, 10> kKinds{{
        {"FIELD=", MapLineKind::Field},
        {"SEGMENT=", MapLineKind::Segment},
        {"SCREEN=", MapLineKind::Screen},
        {"KEYFIELD=", MapLineKind::KeyField},
        {"KEYHEADERFIELD=", MapLineKind::KeyHeader},
        {"KEYDOCFIELD=", MapLineKind::KeyDoc},
        {"KEYLINEFIELD=", MapLineKind::KeyLine},
        {"KEYTRAILERFIELD=", MapLineKind::KeyTrailer},
        {"X12TRANSACTIONTYPE=", MapLineKind::TransactionType},
        {"VERSION=", MapLineKind::Version},
    }};
    MapLine result;
    if (line.empty()) return result;
    const char first = static_cast<char>(std::toupper(static_cast<unsigned char>(line[0])));
    for (const auto& [prefix, kind] : kKinds) {
        if (prefix[0] == first && beginsWithNoCase(line, prefix)) {
            result.kind = kind;
            result.value = line.substr(prefix.size());
            return result;
        }
    }
    readClearLine(line, result);
    return result;
}

}  // namespace brolvin
