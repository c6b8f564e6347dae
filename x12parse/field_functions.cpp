#include "x12parse/field_functions.h"

#include <algorithm>

#include "util/file_io.h"
#include "util/input_limits.h"
#include "util/text.h"

namespace brolvin {

namespace {

// Calls onRow(row) for every row of the text, one at a time so a large
// table is never held twice: rows end at CR, LF or CR LF, and the text after
// the last line end is a row too (an empty text is one empty row).
template <class OnRow>
void forEachRow(std::string_view text, OnRow onRow) {
    std::string row;
    std::string_view rest = forEachLine(text, [&](std::string_view line) {
        row.assign(line);
        onRow(row);
    });
    row.assign(rest);
    onRow(row);
}

constexpr std::string_view kUserLibrary = "USERDEF.DLL";

}  // namespace

LookupTable parseLookupTable(std::string_view text) {
    LookupTable table;
    bool first = true;
    forEachRow(text, [&](const std::string& row) {
        const bool skipped = !first && row.empty();
        first = false;
        if (skipped) return;
        LookupRow entry;
        size_t comma = row.find(',');
        entry.key = row.substr(0, comma);
        if (comma != std::string::npos) {
            for (size_t k = comma + 1; k < row.size(); ++k)
                if (row[k] != ',') entry.result.push_back(row[k]);
        }
        table.push_back(std::move(entry));
    });
    return table;
}

const std::string* lookupRow(const LookupTable& table, std::string_view value) {
    for (const LookupRow& row : table)
        if (beginsWith(value, row.key)) return &row.result;
    return nullptr;
}

FunctionProgram parseFunctionFile(std::string_view text) {
    FunctionProgram program;
    forEachRow(text, [&](const std::string& raw) {
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
    });
    return program;
}

std::optional<std::string> FunctionFiles::textToHold(const std::string& name, const char* what,
                                                     size_t entryBytes) {
    if (!fileExists(name)) return std::nullopt;
    if (!refusal_.empty()) return std::nullopt;  // the job stops: nothing more is read
    if (fileSize(name) > kMaxFunctionFileBytes) {
        refusal_ = std::string(what) + " " + name + " is larger than " +
                   limitText(static_cast<size_t>(kMaxFunctionFileBytes));
        return std::nullopt;
    }
    std::string text;
    readWholeFile(name, text, true);  // unreadable reads as empty
    // Each row or line becomes an entry of its own: counted before parsing.
    const size_t lines = 1 + static_cast<size_t>(std::count(text.begin(), text.end(), '\r'));
    const size_t cost = text.size() + lines * entryBytes;
    if (cost > kMaxFunctionFilesHeld - held_) {
        refusal_ = "the function files and lookup tables of the map, with " + name + ", need more than " +
                   limitText(kMaxFunctionFilesHeld);
        return std::nullopt;
    }
    held_ += cost;
    return text;
}

const FunctionProgram* FunctionFiles::program(const std::string& name) {
    auto found = programs_.find(name);
    if (found == programs_.end()) {
        std::unique_ptr<FunctionProgram> parsed;
        if (std::optional<std::string> text = textToHold(name, "function file", sizeof(FunctionStep)))
            parsed = std::make_unique<FunctionProgram>(parseFunctionFile(*text));
        found = programs_.emplace(name, std::move(parsed)).first;
    }
    return found->second.get();
}

const LookupTable* FunctionFiles::table(const std::string& name) {
    auto found = tables_.find(name);
    if (found == tables_.end()) {
        std::unique_ptr<LookupTable> parsed;
        if (std::optional<std::string> text = textToHold(name, "lookup table", sizeof(LookupRow)))
            parsed = std::make_unique<LookupTable>(parseLookupTable(*text));
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
