#include "map/map_file_lines.h"

#include <array>
#include <utility>

#include "util/text.h"

namespace brolvin {

std::vector<std::string> splitMapLines(std::string_view text) {
    std::vector<std::string> lines;
    std::string current;
    char previous = '\0';
    for (char c : text) {
        if (c == '\v') continue;
        // A line feed of its own ends a line too (files written with LF
        // alone); the one of a CR LF stays with the next line, whose
        // trimming removes it.
        if (c == '\r' || (c == '\n' && previous != '\r')) {
            lines.push_back(trimLine(current));
            current.clear();
        } else {
            current.push_back(c);
        }
        previous = c;
    }
    if (!current.empty()) lines.push_back(trimLine(current));
    return lines;
}

std::vector<std::string_view> splitPositions(std::string_view value) {
    std::vector<std::string_view> positions;
    size_t start = 0;
    for (size_t comma = value.find(','); comma != std::string_view::npos;
         comma = value.find(',', start)) {
        positions.push_back(value.substr(start, comma - start));
        start = comma + 1;
    }
    std::string_view rest = value.substr(start);
    if (!isBlank(rest)) positions.push_back(rest);
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
    for (const auto& [prefix, kind] : kKinds) {
        if (beginsWithNoCase(line, prefix)) {
            result.kind = kind;
            result.value = line.substr(prefix.size());
            return result;
        }
    }
    readClearLine(line, result);
    return result;
}

}  // namespace brolvin
