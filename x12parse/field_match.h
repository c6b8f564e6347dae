// The small tests field extraction is built from. None changes anything.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/field_table.h"
#include "core/history.h"

namespace brolvin {

// Component `n` (1-based) of `text` divided by `separator`; "" when there is
// no such component.
std::string CTL48400D(std::string_view text, char separator, long long n);
// The same without copying: a view into `text`.
inline std::string_view componentView(std::string_view text, char separator, long long n);

// True when `value` begins with one entry of the trimmed `qualifierList`,
// entries divided by ":". An empty entry matches every value.
bool CTL48400V(std::string_view value, std::string_view qualifierList);
// The entries of the trimmed `qualifierList`, divided by ":" (at least one,
// possibly empty), as views into it.
std::vector<std::string_view> qualifierListEntries(std::string_view qualifierList);

// CTL48400T: the previous-segment test over the history.
// Previous-segment test over history entries 1 to 7 (blank entries passed
// over): at the first entry whose identifier the trimmed `previousSegment`
// begins with, true when the trimmed `previousQualifier` begins with the
// entry's element at `previousQualifierPosition` - 1. False with no entry.
bool historyQualifierMatches(const SegmentHistory& history, std::string_view previousSegment,
                             std::string_view previousQualifier, long long previousQualifierPosition,
                             char elementSeparator);

// The names of a Toggle Off Field: the trimmed text divided by ":", each
// name trimmed; none for a blank text.
std::vector<std::string_view> toggleOffNames(std::string_view toggleOffField);
// Toggle-off test: true when one of the entries 1 to n-1 has a name that one
// of the toggle's names begins with and a Value that is not "".
bool CTL48400U(const FieldTable& fields, std::string_view toggleOffField);

// ---------------------------------------------------------------------------

inline std::string_view componentView(std::string_view text, char separator, long long n) {
    if (n < 1) return {};
    // Components are a few bytes: a plain walk costs less than a search call
    // per component.
    const char* p = text.data();
    const char* const end = p + text.size();
    for (long long index = 1; index < n; ++index) {
        while (p < end && *p != separator) ++p;
        if (p == end) return {};
        ++p;
    }
    const char* const start = p;
    while (p < end && *p != separator) ++p;
    return std::string_view(start, static_cast<size_t>(p - start));
}

}  // namespace brolvin
