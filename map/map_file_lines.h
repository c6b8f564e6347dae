// The text layer of a map file: splitting into lines, deciding each line's
// kind and cutting a value into its comma-separated positions.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace brolvin {

// Splits map text into trimmed lines. Byte 11 is dropped wherever it stands;
// a carriage return ends a line, and so does a line feed that does not
// directly follow one; text after the last line end is a last line when it
// is not empty. Blank lines are kept so they can be counted. The lines are
// views into `text`, which loses its bytes 11 first.
std::vector<std::string_view> splitMapLines(std::string& text);

// Cuts a value at every comma. Positions are not trimmed; the text after the
// last comma is a position only when it holds something other than spaces.
std::vector<std::string_view> splitPositions(std::string_view value);
// The same into `positions` (emptied first), so one list serves every line.
void splitPositions(std::string_view value, std::vector<std::string_view>& positions);

enum class MapLineKind {
    Other,
    Field,
    Segment,
    Screen,
    KeyField,
    KeyHeader,
    KeyDoc,
    KeyLine,
    KeyTrailer,
    TransactionType,
    Version,
    KeyClear,
};

// Lowest and highest level a "KEYCLEARn=" line may name.
inline constexpr int kFirstClearLevel = 7;
inline constexpr int kLastClearLevel = 99;

struct MapLine {
    MapLineKind kind = MapLineKind::Other;
    std::string_view value;  // text after the first "=", as written
    int clearLevel = 0;      // n of a KEYCLEARn= line
};

// Decides a trimmed line's kind by its beginning, without regard to case.
// "KEYCLEARn=" counts only with n a whole number from 7 to 99.
MapLine classifyMapLine(std::string_view line);

}  // namespace brolvin
