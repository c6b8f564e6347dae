#include "map/service_line_expansion.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "util/text.h"

namespace brolvin {

namespace {

// "01" and " 1" count as line 1; blank does not.
bool isFirstLine(const std::string& serviceLineNumber) {
    return !isBlank(serviceLineNumber) && leadingNumber(serviceLineNumber) == 1;
}

std::string withLineNumber(const std::string& text, long long line) {
    std::string trimmed = trimSpaces(text);
    if (!trimmed.empty()) trimmed.pop_back();
    return trimmed + std::to_string(line);
}

// A Toggle Off Field may name several fields, divided by ":"; each name
// ending in 1 (a field of the first line) is renamed like a condition.
std::string toggleForLine(const std::string& toggle, long long line) {
    std::string result;
    bool renamed = false;
    size_t start = 0;
    for (;;) {
        size_t colon = toggle.find(':', start);
        std::string name = trimSpaces(toggle.substr(start, colon == std::string::npos ? colon : colon - start));
        if (!name.empty() && name.back() == '1') {
            name = withLineNumber(name, line);
            renamed = true;
        }
        result += name;
        if (colon == std::string::npos) break;
        result += ':';
        start = colon + 1;
    }
    return renamed ? result : toggle;
}

// Makes `copy` (a copy of `entry`) the entry's copy for service line `line`.
void renameForLine(FieldEntry& copy, const FieldEntry& entry, long long line) {
    copy.name = withLineNumber(entry.name, line);
    std::string condition = trimSpaces(entry.conditionField);
    if (!condition.empty() && condition.back() == '1')
        copy.conditionField = withLineNumber(condition, line);
    copy.toggleOffField = toggleForLine(entry.toggleOffField, line);
    copy.serviceLineNumber = std::to_string(line);
}

// The service-line block: [first, end), empty when the table has none.
std::pair<size_t, size_t> serviceLineBlock(const FieldTable& fields) {
    size_t first = 0;
    while (first < fields.size() && !isFirstLine(fields[first].serviceLineNumber)) ++first;
    size_t end = first;
    while (end < fields.size() && isFirstLine(fields[end].serviceLineNumber)) ++end;
    return {first, end};
}

}  // namespace

long long expandedLineCount(const FieldTable& fields, long long lineCount) {
    if (lineCount > kMaxExpandedServiceLines) lineCount = kMaxExpandedServiceLines;
    const auto [first, end] = serviceLineBlock(fields);
    const long long block = static_cast<long long>(end - first);
    const long long room = kMaxExpandedFieldEntries - static_cast<long long>(fields.size());
    if (block > 0 && lineCount > 1 && (lineCount - 1) > room / block)
        lineCount = 1 + (room > 0 ? room / block : 0);
    return lineCount;
}

void expandServiceLines(LoadedMap& map, long long lineCount) {
    map.fields = withServiceLineCopies(std::move(map.fields), lineCount);
    map.names = fieldColumn(map.fields, 1);
    map.segmentMap = fieldColumn(map.fields, 2);
}

FieldTable withServiceLineCopies(FieldTable fields, long long lineCount) {
    const auto [first, end] = serviceLineBlock(fields);
    if (first == end || lineCount < 2) return fields;
    lineCount = expandedLineCount(fields, lineCount);
    if (lineCount < 2) return fields;

    // The entries of the table are moved into place; only the copies of the
    // block are made, straight from the block's entries already in place.
    FieldTable result;
    result.reserve(fields.size() + static_cast<size_t>(lineCount - 1) * (end - first));
    std::move(fields.begin(), fields.begin() + static_cast<long>(end), std::back_inserter(result));
    for (long long line = 2; line <= lineCount; ++line)
        for (size_t i = first; i < end; ++i) renameForLine(result.emplace_back(result[i]), result[i], line);
    std::move(fields.begin() + static_cast<long>(end), fields.end(), std::back_inserter(result));
    return result;
}

std::string serviceLineLimitNote(long long lineCount, long long linesMade) {
    if (linesMade >= lineCount) return "";
    return " - Service Line Count " + std::to_string(lineCount) + " Expanded to " + std::to_string(linesMade);
}

std::vector<std::string> fieldColumn(const FieldTable& fields, int what) {
    std::vector<std::string> list;
    if (what != 1 && what != 2) return list;
    list.reserve(fields.size());
    for (const FieldEntry& f : fields) list.push_back(what == 1 ? f.name : f.segment);
    return list;
}

}  // namespace brolvin
