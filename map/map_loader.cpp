#include "map/map_loader.h"

#include <algorithm>
#include <cerrno>
#include <map>
#include <optional>

#include "map/map_file_lines.h"
#include "map/map_log.h"
#include "util/file_io.h"
#include "util/input_limits.h"
#include "util/text.h"

namespace brolvin {

namespace {

// Key lists of a map without the line of their kind.
KeyList absentMatchingEmptyOnly() {
    KeyList list;
    list.kind = KeyList::Kind::MatchesEmptyOnly;
    list.entries = {""};
    list.count = 0;
    return list;
}

KeyList absentMatchingNothing() {
    KeyList list;
    list.kind = KeyList::Kind::MatchesNothing;
    list.count = 0;
    return list;
}

KeyList keyListFrom(const std::optional<std::string>& upperValue, KeyList whenAbsent) {
    if (!upperValue) return whenAbsent;
    KeyList list;
    list.kind = KeyList::Kind::Given;
    for (std::string_view position : splitPositions(*upperValue)) list.entries.emplace_back(position);
    list.count = static_cast<int>(list.entries.size());
    return list;
}

// Positions 1-14 land on attributes 1-14, 15-19 on attributes 17, 19, 20,
// 21, 22. Positions past 19 have no attribute and are ignored.
void fillFieldEntry(FieldEntry& entry, const std::vector<std::string_view>& positions) {
    std::string* targets[19] = {
        &entry.name,           &entry.width,
        &entry.segment,        &entry.segmentQualifier,
        &entry.qualifierPosition, &entry.elementPosition,
        &entry.subelementPosition, &entry.conditionField,
        &entry.occurence,      &entry.level,
        &entry.serviceLineNumber, &entry.description,
        &entry.dataStart,      &entry.dataLength,
        &entry.function,       &entry.previousSegment,
        &entry.previousQualifier, &entry.previousQualifierPosition,
        &entry.toggleOffField,
    };
    size_t n = std::min(positions.size(), std::size(targets));
    for (size_t i = 0; i < n; ++i) targets[i]->assign(positions[i]);
}

void fillLayoutEntry(LayoutEntry& entry, const std::vector<std::string_view>& positions) {
    size_t n = std::min(positions.size(), entry.size());
    for (size_t i = 0; i < n; ++i) entry[i].assign(positions[i]);
}

// The upper-cased values of the last KEY..., X12TRANSACTIONTYPE= and
// VERSION= line of each kind.
struct KeyValues {
    std::optional<std::string> header, field, doc, line, trailer;
    std::map<int, std::string> clear;  // by level
};

void appendRunLog(std::string& runLog, const LoadedMap& map, RunContext& ctx) {
    auto count = [](int n) { return rightAlign(n, 10); };
    runLog += ctx.stampedLine(" - Mapping Load Complete ");
    runLog += ctx.stampedLine(" - Using Map File = " + map.path);
    runLog += ctx.stampedLine(" - Key Header Field Count = " + count(map.keyHeader.count));
    runLog += ctx.stampedLine(" - Key Field Count = " + count(map.keyField.count));
    runLog += ctx.stampedLine(" - Key Document Field Count = " + count(map.keyDoc.count));
    runLog += ctx.stampedLine(" - Key Line Field Count = " + count(map.keyLine.count));
    runLog += ctx.stampedLine(" - Key Trailer Field Count = " + count(map.keyTrailer.count));
    runLog += ctx.stampedLine(" - Field Count = " + count(map.fieldLineCount));
    runLog += ctx.stampedLine(" - Segment Count = " + count(map.segmentLineCount));
}

void writeMapLog(const std::string& text, RunContext& ctx) {
    if (!ctx.sideLogFiles) return;  // the caller keeps the text
    if (!writeLogFile(kMapLogFileName, text))
        ctx.platform.warningLine(fileErrorText("Cfile <ERROR> FC-Open #", errno));
}

void setAbsentKeyLists(LoadedMap& map) {
    map.keyHeader = absentMatchingEmptyOnly();
    map.keyField = absentMatchingEmptyOnly();
    map.keyDoc = absentMatchingNothing();
    map.keyLine = absentMatchingNothing();
    map.keyTrailer = absentMatchingNothing();
}

// Fills the tables of `map` from the classified lines (tables already sized)
// and, with a `log`, logs each line; returns the stored key values.
KeyValues fillTables(LoadedMap& map, const std::vector<MapLine>& lines, std::string* log) {
    KeyValues keys;
    size_t field = 0, segment = 0, screen = 0;
    std::vector<std::string_view> positions;  // one list for every line
    auto keyLine = [log](std::string_view label, std::string_view value) {
        if (log) appendMapLogKeyLine(*log, label, value);
    };
    for (const MapLine& ml : lines) {
        switch (ml.kind) {
            case MapLineKind::Field: {
                splitPositions(ml.value, positions);
                FieldEntry& entry = map.fields[field];
                fillFieldEntry(entry, positions);
                map.names[field] = entry.name;
                map.segmentMap[field] = entry.segment;
                ++field;
                if (log) appendMapLogField(*log, static_cast<int>(field), positions);
                break;
            }
            case MapLineKind::Segment: {
                splitPositions(ml.value, positions);
                fillLayoutEntry(map.segmentLayout[segment++], positions);
                if (log) appendMapLogLayout(*log, "- Segment =", positions);
                break;
            }
            case MapLineKind::Screen: {
                splitPositions(ml.value, positions);
                fillLayoutEntry(map.screens[screen++], positions);
                if (log) appendMapLogLayout(*log, "- Screen =", positions);
                break;
            }
            case MapLineKind::KeyField:
                keys.field = toUpper(ml.value);
                keyLine("- Key Field", *keys.field);
                break;
            case MapLineKind::KeyHeader:
                keys.header = toUpper(ml.value);
                keyLine("- Key Header Field", *keys.header);
                break;
            case MapLineKind::KeyDoc:
                keys.doc = toUpper(ml.value);
                keyLine("- Key Doc Field", *keys.doc);
                break;
            case MapLineKind::KeyLine:
                keys.line = toUpper(ml.value);
                keyLine("- Key Line Field", *keys.line);
                break;
            case MapLineKind::KeyTrailer:
                keys.trailer = toUpper(ml.value);
                keyLine("- Key Trailer Field", *keys.trailer);
                break;
            case MapLineKind::TransactionType:
                map.transactionType = toUpper(ml.value);
                keyLine("- X12 Transaction Type", map.transactionType);
                break;
            case MapLineKind::Version:
                map.version = toUpper(ml.value);
                keyLine("- X12 Version", map.version);
                break;
            case MapLineKind::KeyClear: {
                std::string& value = keys.clear[ml.clearLevel];
                value = toUpper(ml.value);
                if (log) keyLine("- Key Clear Field " + std::to_string(ml.clearLevel), value);
                break;
            }
            case MapLineKind::Other:
                break;
        }
    }
    return keys;
}

void setKeyLists(LoadedMap& map, const KeyValues& keys) {
    map.keyHeader = keyListFrom(keys.header, absentMatchingEmptyOnly());
    map.keyField = keyListFrom(keys.field, absentMatchingEmptyOnly());
    map.keyDoc = keyListFrom(keys.doc, absentMatchingNothing());
    map.keyLine = keyListFrom(keys.line, absentMatchingNothing());
    map.keyTrailer = keyListFrom(keys.trailer, absentMatchingNothing());
    map.clearLists.clear();
    for (const auto& [level, value] : keys.clear)  // std::map keeps levels ascending
        map.clearLists.push_back(ClearList{level, keyListFrom(value, absentMatchingNothing())});
}

// The load without a field table: the map log's title and segment-map lines,
// the run-log lines with every count 0, then why.
MapLoadResult& failedLoad(MapLoadResult& result, const std::string& refusal, bool mapLogOn, RunContext& ctx) {
    LoadedMap& map = result.map;
    std::string path = std::move(map.path);
    map = LoadedMap{};
    map.path = std::move(path);
    setAbsentKeyLists(map);
    if (mapLogOn) {
        appendMapLogSegmentMap(result.mapLogText, 1);
        writeMapLog(result.mapLogText, ctx);
    }
    appendRunLog(result.runLog, map, ctx);
    if (refusal.empty()) {
        result.runLog += std::string(" Mapping Error : .CFG Missing or Empty.") + kCrLf;
    } else {
        result.runLog += ctx.stampedLine(kInputRefusedLine + refusal);
        result.refused = true;
        result.refusal = refusal;
    }
    result.runLog += ctx.stampedLine(" - Error File  = ");
    return result;
}

}  // namespace

MapLoadResult loadMap(const std::string& path, bool mapLogOn, const std::string& runLabel,
                      const DateTime& engineStart, RunContext& ctx) {
    MapLoadResult result;
    LoadedMap& map = result.map;
    map.path = path;
    // The map log is built only when it is to be written.
    std::string* log = mapLogOn ? &result.mapLogText : nullptr;
    if (log) appendMapLogTitle(*log, runLabel, ctx, engineStart);

    long long size = fileSize(path);
    if (size > kMaxMapFileBytes)
        return failedLoad(result, "map file " + path + " is larger than " + limitText(kMaxMapFileBytes),
                          mapLogOn, ctx);
    std::string text;
    if (size <= 0 || !readWholeFile(path, text, true)) return failedLoad(result, "", mapLogOn, ctx);

    // Counting pass: classify every line once and size the tables.
    std::vector<std::string_view> lines = splitMapLines(text);
    std::vector<MapLine> classified;
    classified.reserve(lines.size());
    for (std::string_view l : lines) {
        classified.push_back(classifyMapLine(l));
        switch (classified.back().kind) {
            case MapLineKind::Field: ++map.fieldLineCount; break;
            case MapLineKind::Segment: ++map.segmentLineCount; break;
            case MapLineKind::Screen: ++map.screenLineCount; break;
            default: break;
        }
    }
    // Each table line costs far more memory than its text.
    if (map.fieldLineCount + map.segmentLineCount + map.screenLineCount > kMaxMapTableLines) {
        return failedLoad(result,
                          "map file " + path + " has more than " + std::to_string(kMaxMapTableLines) +
                              " FIELD=, SEGMENT= and SCREEN= lines",
                          mapLogOn, ctx);
    }
    map.hasFieldTable = true;
    map.fields.resize(map.fieldLineCount);
    map.names.resize(map.fieldLineCount);
    map.segmentMap.resize(map.fieldLineCount);
    map.segmentLayout.resize(map.segmentLineCount);
    map.screens.resize(map.screenLineCount);

    if (log)
        appendMapLogFilePresent(*log, path, size, lines.size(), map.fieldLineCount, map.segmentLineCount,
                                map.screenLineCount);
    // Filling pass.
    KeyValues keys = fillTables(map, classified, log);
    setKeyLists(map, keys);
    if (log) {
        appendMapLogKeyLists(*log, map);
        appendMapLogSegmentMap(*log, map.segmentMap.size());
        writeMapLog(*log, ctx);
    }
    appendRunLog(result.runLog, map, ctx);
    return result;
}

MapLoadResult loadMapCached(MapCache& cache, const std::string& path, bool mapLogOn, const std::string& runLabel,
                            const DateTime& engineStart, RunContext& ctx) {
    if (mapLogOn) return loadMap(path, mapLogOn, runLabel, engineStart, ctx);
    std::lock_guard<std::mutex> hold(cache.loading());
    if (std::shared_ptr<const LoadedMap> kept = cache.find(path)) {
        MapLoadResult result;
        result.map = *kept;
        appendRunLog(result.runLog, result.map, ctx);
        return result;
    }
    MapLoadResult result = loadMap(path, mapLogOn, runLabel, engineStart, ctx);
    if (result.map.hasFieldTable) cache.keep(path, result.map);
    return result;
}

}  // namespace brolvin
