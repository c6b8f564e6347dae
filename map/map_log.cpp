#include "map/map_log.h"

#include <algorithm>
#include <array>

#include "core/version.h"
#include "util/file_io.h"
#include "util/text.h"

namespace brolvin {

namespace {

constexpr size_t kFunctionPosition = 15;
constexpr size_t kSegmentPosition = 3;

// Labels of the FIELD= positions 1 to 19.
constexpr std::array<std::string_view, 19> kFieldLabels{
    "   Field Name =",
    "   Field width =",
    "   Segment  =",
    "   Segment Qualifier =",
    "   Qualifier Position =",
    "   Element Position =",
    "   Subelement Position =",
    "   Condition Field =",
    "   Occurence =",
    "   Level =",
    "   Service Line Number =",
    "   Field Description =",
    "   Data Starting Position Within the Field =",
    "   Length of Data =",
    "   Function =",
    "   Previous Segment =",
    "   Previous Segment Qualifier =",
    "   Previous Segment Qualifier Position =",
    "   Toggle Off Field =",
};

void line(std::string& log, std::string_view text) {
    log.append(text);
    log.append(kCrLf);
}

void appendKeyList(std::string& log, std::string_view label, const KeyList& list) {
    for (size_t k = 0; k < list.entries.size(); ++k) {
        log.append(label);
        log.append(std::to_string(k + 1));
        log.append(" = ");
        line(log, list.entries[k]);
    }
}

}  // namespace

void appendMapLogTitle(std::string& log, const std::string& runLabel, RunContext& ctx,
                       const DateTime& engineStart) {
    line(log, "Drenik Software " + runLabel + " Map Log");
    line(log, "Started " + ctx.dateText() + "  " + ctx.formatTime(engineStart));
    line(log, std::string("Parser Version Number : ") + VERNUM);
    line(log, std::string("   Sub Version Number : ") + SUBVER);
    line(log, "     Operating System : " + ctx.platform.operatingSystem());
    line(log, "     Compiler Version : " + ctx.platform.compilerVersion());
    line(log, "");
}

void appendMapLogFilePresent(std::string& log, const std::string& path, long long sizeBytes,
                             size_t lineCount, int fieldLines, int segmentLines, int screenLines) {
    line(log, "- " + path + " Present");
    line(log, "- Files Size " + std::to_string(sizeBytes) + " Bytes ");
    line(log, "- " + std::to_string(lineCount) + " Lines ");
    line(log, "- " + std::to_string(fieldLines) + " Fields ");
    line(log, "- " + std::to_string(segmentLines) + " Segments ");
    line(log, "- " + std::to_string(screenLines) + " Screen Elements ");
}

void appendMapLogField(std::string& log, int entryNumber,
                       const std::vector<std::string_view>& positions) {
    line(log, "- Field " + rightAlign(entryNumber, 10));
    size_t shown = std::min(positions.size(), kFieldLabels.size());
    for (size_t i = 0; i < shown; ++i) {
        size_t position = i + 1;
        std::string_view label = kFieldLabels[i];
        if (position == kSegmentPosition && positions.size() == kSegmentPosition)
            label = "   Segment =";
        log.append(label);
        log.push_back(' ');
        line(log, positions[i]);
        if (position == kFunctionPosition) {
            std::string function(positions[i]);
            if (fileExists(function))
                line(log, "  - - (File Present) = " + function);
            else
                line(log, "  - - (File NOT Present) = " + function + "  **");
        }
    }
}

void appendMapLogLayout(std::string& log, std::string_view title,
                        const std::vector<std::string_view>& positions) {
    line(log, title);
    size_t shown = std::min(positions.size(), LayoutEntry{}.size());
    for (size_t i = 0; i < shown; ++i) {
        log.push_back(' ');
        line(log, positions[i]);
    }
}

void appendMapLogKeyLine(std::string& log, std::string_view label, std::string_view value) {
    log.append(label);
    log.append(" = ");
    line(log, value);
}

void appendMapLogKeyLists(std::string& log, const LoadedMap& map) {
    appendKeyList(log, " Key Header Field ", map.keyHeader);
    appendKeyList(log, " Key Field ", map.keyField);
    appendKeyList(log, " Key Doc Field ", map.keyDoc);
    appendKeyList(log, " Key Line Field ", map.keyLine);
    appendKeyList(log, " Key Trailer Field ", map.keyTrailer);
    for (const ClearList& clear : map.clearLists)
        appendKeyList(log, " Key Clear Field " + std::to_string(clear.level) + " ", clear.keys);
}

void appendMapLogSegmentMap(std::string& log, size_t entries) {
    line(log, "   Segement Map Array = " + rightAlign(static_cast<long long>(entries), 10));
    for (size_t k = 1; k <= entries; ++k)
        line(log, "   SEGMAP = " + rightAlign(static_cast<long long>(k), 10));
}

}  // namespace brolvin
