#include "x12parse/field_functions.h"

#include "util/file_io.h"
#include "util/text.h"

namespace brolvin {

namespace {

// The ended lines and the text after the last line end.
std::vector<std::string> splitRows(std::string_view text) {
    std::vector<std::string> rows;
    std::string_view rest = forEachLine(text, [&](std::string_view line) { rows.emplace_back(line); });
    rows.emplace_back(rest);
    return rows;
}

constexpr std::string_view kUserLibrary = "USERDEF.DLL";

}  // namespace

LookupTable parseLookupTable(std::string_view text) {
    LookupTable table;
    std::vector<std::string> rows = splitRows(text);
    for (size_t i = 0; i < rows.size(); ++i) {
        const std::string& row = rows[i];
        if (i > 0 && row.empty()) continue;
        LookupRow entry;
        size_t comma = row.find(',');
        entry.key = row.substr(0, comma);
        if (comma != std::string::npos) {
            for (size_t k = comma + 1; k < row.size(); ++k)
                if (row[k] != ',') entry.result.push_back(row[k]);
        }
        table.push_back(std::move(entry));
    }
    return table;
}

const std::string* lookupRow(const LookupTable& table, std::string_view value) {
    for (const LookupRow& row : table)
        if (beginsWith(value, row.key)) return &row.result;
    return nullptr;
}

FunctionProgram parseFunctionFile(std::string_view text) {
    FunctionProgram program;
    for (const std::string& raw : splitRows(text)) {
        std::string line = trimSpaces(raw);
        std::string upper = toUpper(line);
        if (beginsWith(upper, "CSVTABLE")) {
            // The name follows the directive and one separator character.
            std::string name = line.size() > 9 ? trimSpaces(std::string_view(line).substr(9)) : "";
            program.push_back({FunctionStep::Kind::CsvTable, std::move(name)});
        } else if (beginsWith(upper, "RETURNSEGMENT")) {
            program.push_back({FunctionStep::Kind::ReturnSegment, {}});
        }
        // CALLDLL names an external entry that is not called; other lines are ignored.
    }
    return program;
}

const FunctionProgram* FunctionFiles::program(const std::string& name) {
    auto found = programs_.find(name);
    if (found == programs_.end()) {
        std::unique_ptr<FunctionProgram> parsed;
        if (fileExists(name)) {
            std::string text;
            readWholeFile(name, text, true);  // unreadable reads as empty
            parsed = std::make_unique<FunctionProgram>(parseFunctionFile(text));
        }
        found = programs_.emplace(name, std::move(parsed)).first;
    }
    return found->second.get();
}

const LookupTable* FunctionFiles::table(const std::string& name) {
    auto found = tables_.find(name);
    if (found == tables_.end()) {
        std::unique_ptr<LookupTable> parsed;
        if (fileExists(name)) {
            std::string text;
            readWholeFile(name, text, true);
            parsed = std::make_unique<LookupTable>(parseLookupTable(text));
        }
        found = tables_.emplace(name, std::move(parsed)).first;
    }
    return found->second.get();
}

std::string runFunctionProgram(const FunctionProgram& program, std::string_view value,
                               std::string_view segment, FunctionFiles& files) {
    std::string result;
    for (const FunctionStep& step : program) {
        if (step.kind == FunctionStep::Kind::ReturnSegment) {
            result.assign(segment);
            continue;
        }
        const LookupTable* table = files.table(step.tableName);
        if (!table) continue;
        if (const std::string* row = lookupRow(*table, value)) result = *row;
    }
    return result;
}

std::string applyFieldFunction(std::string_view function, std::string_view value,
                               std::string_view segment, FunctionFiles& files) {
    if (isBlank(value) || function.empty() || beginsWithNoCase(function, kUserLibrary))
        return std::string(value);
    const FunctionProgram* program = files.program(std::string(function));
    if (!program) return std::string(value);
    return runFunctionProgram(*program, value, segment, files);
}

std::string CTL48400N(std::string_view segment, long long fieldPosition, std::string_view value,
                      const FieldTable& fields, char, char, FunctionFiles& files) {
    if (fieldPosition < 1 || fieldPosition > static_cast<long long>(fields.size()))
        return std::string(value);
    std::string function = trimSpaces(fields[static_cast<size_t>(fieldPosition - 1)].function);
    return applyFieldFunction(function, value, segment, files);
}

std::string CTL48400P(std::string_view functionFileText, std::string_view value,
                      std::string_view segment, char, char, FunctionFiles& files) {
    return runFunctionProgram(parseFunctionFile(functionFileText), value, segment, files);
}

}  // namespace brolvin
