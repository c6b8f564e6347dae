#include "x12parse/field_match.h"

#include "util/text.h"
#include "core/element_split.h"

namespace brolvin {

std::string CTL48400D(std::string_view text, char separator, long long n) {
    return std::string(componentView(text, separator, n));
}

std::vector<std::string_view> qualifierListEntries(std::string_view qualifierList) {
    std::vector<std::string_view> entries;
    std::string_view rest = spacesTrimmedView(qualifierList);
    for (;;) {
        size_t colon = rest.find(':');
        entries.push_back(rest.substr(0, colon));
        if (colon == std::string_view::npos) return entries;
        rest.remove_prefix(colon + 1);
    }
}

bool CTL48400V(std::string_view value, std::string_view qualifierList) {
    for (std::string_view entry : qualifierListEntries(qualifierList))
        if (beginsWith(value, entry)) return true;
    return false;
}

bool historyQualifierMatches(const SegmentHistory& history, std::string_view previousSegment,
                             std::string_view previousQualifier, long long previousQualifierPosition,
                             char elementSeparator) {
    std::string_view segment = spacesTrimmedView(previousSegment);
    for (size_t i = 0; i < 7; ++i) {
        if (isBlank(history[i])) continue;
        if (!beginsWith(segment, elementView(history[i], 0, elementSeparator))) continue;
        std::string_view element =
            elementView(history[i], previousQualifierPosition - 1, elementSeparator);
        return beginsWith(spacesTrimmedView(previousQualifier), element);
    }
    return false;
}

std::vector<std::string_view> toggleOffNames(std::string_view toggleOffField) {
    std::vector<std::string_view> names;
    std::string_view rest = spacesTrimmedView(toggleOffField);
    if (rest.empty()) return names;
    for (;;) {
        size_t colon = rest.find(':');
        names.push_back(spacesTrimmedView(rest.substr(0, colon)));
        if (colon == std::string_view::npos) return names;
        rest.remove_prefix(colon + 1);
    }
}

bool CTL48400U(const FieldTable& fields, std::string_view toggleOffField) {
    for (std::string_view toggle : toggleOffNames(toggleOffField))
        for (size_t i = 0; i + 1 < fields.size(); ++i)
            if (beginsWith(toggle, fields[i].name) && !fields[i].value.empty()) return true;
    return false;
}

}  // namespace brolvin
