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
        const std::string_view entry = history[i];
        if (isBlank(entry)) continue;
        // The entry's identifier (up to its first separator) must be a
        // prefix of `segment`: compared while it is found, so a mismatch
        // stops at its first differing byte.
        bool prefix = true;
        for (size_t j = 0; j < entry.size() && entry[j] != elementSeparator; ++j)
            if (j == segment.size() || entry[j] != segment[j]) {
                prefix = false;
                break;
            }
        if (!prefix) continue;
        std::string_view element = elementView(entry, previousQualifierPosition - 1, elementSeparator);
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
