// The lines of the map log ("qzmap.log"), which lists a loaded map. Every
// function appends its lines, each ended by CR LF, to `log`.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/field_table.h"
#include "util/platform.h"

namespace brolvin {

inline constexpr const char* kMapLogFileName = "qzmap.log";

// Title, start line, version lines and one empty line.
void appendMapLogTitle(std::string& log, const std::string& runLabel, RunContext& ctx,
                       const DateTime& engineStart);

// The summary of a map file that is present.
void appendMapLogFilePresent(std::string& log, const std::string& path, long long sizeBytes,
                             size_t lineCount, int fieldLines, int segmentLines, int screenLines);

// A FIELD= line: the entry number, then one labelled line per position; after
// the Function position, whether a file of that name exists.
void appendMapLogField(std::string& log, int entryNumber,
                       const std::vector<std::string_view>& positions);

// A SEGMENT= or SCREEN= line: `title` ("- Segment =" / "- Screen ="), then one
// line per position.
void appendMapLogLayout(std::string& log, std::string_view title,
                        const std::vector<std::string_view>& positions);

// A key line as read: `label` + " = " + the upper-cased value.
void appendMapLogKeyLine(std::string& log, std::string_view label, std::string_view value);

// The entries of the five key-field lists and of the clearing lists.
void appendMapLogKeyLists(std::string& log, const LoadedMap& map);

// The segment map size and one numbered line per entry.
void appendMapLogSegmentMap(std::string& log, size_t entries);

}  // namespace brolvin
