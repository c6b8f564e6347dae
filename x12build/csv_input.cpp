#include "x12build/csv_input.h"

#include "util/text.h"

namespace brolvin {

long long countCsvRecords(std::string_view data, ProgressTicker& progress) {
    long long count = 0;
    bool comma = false;
    for (size_t i = 0; i < data.size(); ++i) {
        progress.at(static_cast<long long>(i) + 1);
        if (data[i] == ',') {
            comma = true;
        } else if (data[i] == '\r' && comma) {
            ++count;
            comma = false;
        }
    }
    return count;
}

void readCsvRecords(std::string_view data, GenerationRun& run, ProgressTicker& progress) {
    std::string current;
    size_t fieldNumber = 1;
    long long lineNumber = 1;
    long long dropped = 0;  // non-blank values beyond the last field on this line

    auto store = [&]() {
        FieldTable& fields = run.map.fields;
        if (fieldNumber <= fields.size())
            fields[fieldNumber - 1].value = current;
        else if (!isBlank(current))
            ++dropped;
    };

    for (size_t i = 0; i < data.size(); ++i) {
        progress.at(static_cast<long long>(i) + 1);
        char c = data[i];
        switch (c) {
            case '\n':
                current.push_back(' ');
                break;
            case '\r':
                store();
                if (dropped > 0)
                    run.debugEntry("- CSV line " + std::to_string(lineNumber) + ": " +
                                   std::to_string(dropped) +
                                   " value(s) beyond the last field dropped" + kCrLf);
                run.completeRecord();
                current.assign(1, ' ');
                fieldNumber = 1;
                dropped = 0;
                ++lineNumber;
                break;
            case ',':
                store();
                ++fieldNumber;
                current.assign(1, ' ');
                break;
            default:
                current.push_back(c);
        }
    }
}

}  // namespace brolvin
