#include "map/csv_header.h"

#include "util/csv_text.h"
#include "util/text.h"

namespace brolvin {

std::string csvHeaderText(const FieldTable& fields, bool serviceLineMode) {
    std::string line;
    for (size_t i = 0; i < fields.size(); ++i) {
        const FieldEntry& f = fields[i];
        if (serviceLineMode && !isBlank(f.serviceLineNumber) && leadingNumber(f.serviceLineNumber) != 1)
            continue;
        if (i > 0) line += ',';
        std::string title = trimSpaces(f.description);
        appendCsvValue(line, title.empty() ? trimSpaces(f.name) : title);
    }
    return line;
}

}  // namespace brolvin
