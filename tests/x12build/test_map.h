// Small hand-built maps for the generation tests.
#pragma once

#include <string>
#include <vector>

#include "core/field_table.h"

namespace brolvin::test {

inline FieldEntry field(const std::string& name, const std::string& level = "0",
                        const std::string& serviceLine = "") {
    FieldEntry f;
    f.name = name;
    f.level = level;
    f.serviceLineNumber = serviceLine;
    return f;
}

// A SEGMENT= value cut into its 30 positions: every comma divides, and the
// text after the last comma counts only when it is not all spaces.
inline LayoutEntry layout(const std::string& value) {
    LayoutEntry e{};
    size_t slot = 0, start = 0;
    while (slot < e.size()) {
        size_t comma = value.find(',', start);
        if (comma == std::string::npos) {
            std::string last = value.substr(start);
            if (last.find_first_not_of(' ') != std::string::npos) e[slot] = last;
            break;
        }
        e[slot++] = value.substr(start, comma - start);
        start = comma + 1;
    }
    return e;
}

inline std::vector<LayoutEntry> layouts(const std::vector<std::string>& values) {
    std::vector<LayoutEntry> out;
    for (const std::string& v : values) out.push_back(layout(v));
    return out;
}

}  // namespace brolvin::test
