// User-defined field functions: every value extracted for a field passes
// through the function its map entry names before it is stored.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/field_table.h"

namespace brolvin {

// One row of a lookup table file: the text before the first comma, and the
// rest of the row with every further comma left out.
struct LookupRow {
    std::string key;
    std::string result;
};
using LookupTable = std::vector<LookupRow>;

// Rows end at CR; LF is dropped everywhere. The first row always counts
// (an empty file is one empty row); later empty rows are skipped.
LookupTable parseLookupTable(std::string_view text);
// Result text of the first row whose key `value` begins with (an empty key
// matches every value); nullptr when no row matches.
const std::string* lookupRow(const LookupTable& table, std::string_view value);

// The directives of a function file that have an effect, in file order.
struct FunctionStep {
    enum class Kind { CsvTable, ReturnSegment };
    Kind kind = Kind::ReturnSegment;
    std::string tableName;  // CsvTable only
};
using FunctionProgram = std::vector<FunctionStep>;

// Lines end at CR; LF is dropped; each line is trimmed and its directive
// recognised in upper case. CALLDLL and unknown lines change nothing.
FunctionProgram parseFunctionFile(std::string_view text);

// Function files and lookup tables of one conversion: each file is looked for
// and read at most once, then kept (with its absence) until the object goes.
// A file beyond kMaxFunctionFileBytes, or one that would take what is held
// beyond kMaxFunctionFilesHeld, is refused: it counts as missing and
// refusal() says why, so the caller can stop the job.
class FunctionFiles {
public:
    // The parsed function file, or nullptr when no such file exists.
    const FunctionProgram* program(const std::string& name);
    // The parsed lookup table, or nullptr when no such file exists.
    const LookupTable* table(const std::string& name);
    // The first refusal ("" while none).
    const std::string& refusal() const { return refusal_; }

private:
    // The file's text when it may be held: it exists, and it and its parsed
    // form (`entryBytes` per line) stay within the limits.
    std::optional<std::string> textToHold(const std::string& name, const char* what, size_t entryBytes);

    std::unordered_map<std::string, std::unique_ptr<FunctionProgram>> programs_;
    std::unordered_map<std::string, std::unique_ptr<LookupTable>> tables_;
    size_t held_ = 0;  // estimated bytes of every file held
    std::string refusal_;
};

// Runs a parsed function file: the result starts as "", CSVTABLE replaces it
// with a matching row's result, RETURNSEGMENT with the whole segment.
std::string runFunctionProgram(const FunctionProgram& program, std::string_view value,
                               std::string_view segment, FunctionFiles& files);

// The value to store for a field whose (trimmed) Function attribute is
// `function`. A blank value, an empty function, a "USERDEF.DLL" entry and a
// missing function file leave the value unchanged.
std::string applyFieldFunction(std::string_view function, std::string_view value,
                               std::string_view segment, FunctionFiles& files);

// The same for field number `fieldPosition` (1-based) of the table.
std::string CTL48400N(std::string_view segment, long long fieldPosition, std::string_view value,
                      const FieldTable& fields, char elementSeparator, char subElementSeparator,
                      FunctionFiles& files);

// Runs the function file text over `value` (the separators are not used).
std::string CTL48400P(std::string_view functionFileText, std::string_view value,
                      std::string_view segment, char elementSeparator, char subElementSeparator,
                      FunctionFiles& files);

}  // namespace brolvin
