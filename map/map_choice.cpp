#include "map/map_choice.h"

#include <optional>
#include <vector>

#include "map/version_detect.h"
#include "util/file_blocks.h"
#include "util/file_io.h"
#include "util/input_limits.h"
#include "util/os.h"
#include "util/text.h"
#include "core/isa_reader.h"

namespace brolvin {

namespace {

constexpr const char* kTraceFile = "tdebug.log";

// ST01 of the first ST segment of the whole source, scanned with the
// source's own delimiters; "" when there is none.
std::string firstTransactionSet(const std::string& source, Platform& platform) {
    Delimiters d = readDelimiters(source, platform);
    const std::string ds(1, d.elementSeparator);
    std::string segment;
    std::string key;
    BlockReadError error;
    readFileBlocks(
        source,
        [&](std::string_view block) {
            for (char c : block) {
                if (c != d.terminator) {
                    segment.push_back(c);
                    // A segment beyond the limit names no transaction set; the
                    // conversion refuses it.
                    if (segment.size() > kMaxSegmentBytes) return false;
                    continue;
                }
                if (beginsWith(segmentElement(trimLine(segment), 1, ds), "ST")) {
                    key = segmentElement(segment, 2, ds);
                    return false;
                }
                segment.clear();
            }
            return true;
        },
        error);
    if (error.code != 0)
        platform.warningLine(readErrorText(error));
    return key;
}

// The folder a map path is looked for in, as the outcome names it.
std::string folderOf(std::string_view path) {
    size_t at = path.find_last_of("/\\");
    return at == std::string_view::npos ? "./" : std::string(path.substr(0, at + 1));
}

}  // namespace

bool endsWithCfg(std::string_view name) {
    return name.size() >= 4 && toLower(name.substr(name.size() - 4)) == ".cfg";
}

std::string joinMapPath(const std::string& folder, const std::string& name,
                        const std::string& separator) {
    if (!folder.empty() && (folder.back() == '/' || folder.back() == '\\')) return folder + name;
    return folder + (separator.empty() ? os::kNativeSeparator : separator) + name;
}

std::string mapFromDatabaseMap(const std::string& source, const std::string& currentMapPath,
                               const DbMapTable* databaseMap, const std::string& databaseMapFile,
                               Platform& platform) {
    if (!fileExists(databaseMapFile) || fileSize(databaseMapFile) > kMaxMapFileBytes) return currentMapPath;
    std::string text;
    readWholeFile(databaseMapFile, text, true);
    std::string key = firstTransactionSet(source, platform);

    // The transaction type of the first table entry that serves the set.
    if (databaseMap) {
        std::string upperKey = toUpper(key);
        for (const DbMapRow& row : *databaseMap) {
            std::string type = toUpper(std::string_view(row.transactionType).substr(0, key.size()));
            if (beginsWith(upperKey, type)) {
                key = toUpper(row.transactionType);
                break;
            }
        }
    }

    // The first complete line "<key>=<map name>". Lines shorter than the key,
    // blank lines included, name no map.
    const size_t n = key.size();
    if (n == 0) return currentMapPath;
    // A last line without a line end is not examined.
    std::optional<std::string> found;
    forEachLine(text, [&](std::string_view line) {
        if (found || line.size() < n || !beginsWith(key, toUpper(line.substr(0, n)))) return;
        found = line.size() > n + 1 ? std::string(line.substr(n + 1)) : "";
    });
    return found ? *found : currentMapPath;
}

std::string suppliedMap(const std::string& mapName, int mode, const ShippedMaps& shipped) {
    if (mode == 1) return shipped.find(mapName);
    return "";
}

std::string suppliedMap(const std::string& mapName, int mode) {
    return suppliedMap(mapName, mode, ShippedMaps::fromExecutable());
}

std::string noMapReason(const MapChoice& choice, std::string_view sourceKind) {
    const std::string& path = choice.pathToLoad;
    if (!path.empty() && fileExists(path)) return "map file " + path + " is empty or unreadable";
    std::string searched;
    for (const std::string& folder : choice.searched) searched += (searched.empty() ? "" : ", ") + folder;
    if (choice.named) return "map file not found: " + choice.mapName + " (searched: " + searched + ")";
    if (toUpper(sourceKind) == "CSV" || toUpper(sourceKind) == "XML")
        return "no map: a CSV or XML source needs MAP= naming its map";
    if (choice.detected && choice.gs08.empty() && choice.st01.empty())
        return "no map: the source shows no GS08 or ST01 in its first 1001 bytes (name a map with MAP=)";
    auto shown = [](const std::string& v) { return v.empty() ? std::string("(none)") : v; };
    std::string saw = "no map for GS08 " + shown(choice.gs08) + " / ST01 " + shown(choice.st01);
    if (trimSpaces(choice.mapName).empty())
        return saw + " (searched: the known guides and transaction sets; name a map with MAP=)";
    return saw + ": " + choice.mapName + " not found (searched: " + searched + ")";
}

MapChoice chooseMap(const MapChoiceRequest& request, RunContext& ctx) {
    MapChoice out;
    const ShippedMaps shippedFallback =
        request.shippedMaps ? ShippedMaps("") : ShippedMaps::fromExecutable();
    const ShippedMaps& shipped = request.shippedMaps ? *request.shippedMaps : shippedFallback;
    const bool debug = !isBlank(request.debug);
    const std::string defaultFolder = trimSpaces(request.defaultMapPath);
    // The path a name is loaded from: the default folder in front, if any.
    auto loadPath = [&](const std::string& name) {
        return defaultFolder.empty() ? name : joinMapPath(defaultFolder, name, request.pathSeparator);
    };

    std::string mapName = request.mapName;
    std::string chosen;
    bool suppliedAsIs = false;  // a shipped map's full path: no default folder in front

    if (!trimSpaces(mapName).empty()) {
        chosen = mapName;
        out.mapName = mapName;
        out.named = true;
        out.searched.push_back(folderOf(loadPath(chosen)));
        out.runLog += ctx.stampedLine(" - Map File Set A to " + chosen);
        out.runLog += ctx.stampedLine(" - X12 Version/Transaction NOT Detected  ");
        // A plain name that exists nowhere may be one of the shipped maps.
        if (!hasFolderPart(mapName) && !fileExists(loadPath(chosen))) {
            if (!shipped.folder().empty()) out.searched.push_back(inFolder(shipped.folder(), ""));
            std::string shippedPath = shipped.find(mapName);
            if (!shippedPath.empty()) {
                out.runLog += ctx.stampedLine(" - Used Map file " + shippedPath);
                chosen = shippedPath;
                suppliedAsIs = true;
            }
        }
    } else {
        // The detection's trace is kept here for step B; its file copy
        // "tdebug.log" stays on disk only when a map was detected.
        InterchangeScan scan;
        if (request.databaseMapName.empty()) {
            mapName = detectMapName(request.source, request.debug, ctx, &scan, request.sourceHead);
            out.detected = true;
            out.gs08 = scan.version;
            out.st01 = scan.st01;
        }
        if (isBlank(mapName)) {
            mapName = chosen = mapFromDatabaseMap(request.source, chosen, request.databaseMap,
                                                  request.databaseMapName, ctx.platform);
            out.runLog += ctx.stampedLine(" - Map File Set B to " + mapName);
            out.runLog += ctx.stampedLine(" - Source file =" + request.source);
            if (debug) {
                if (out.detected) out.debugText += std::string(kCrLf) + scan.trace;
                if (ctx.sideLogFiles) deleteFile(kTraceFile);
            }
        } else {
            out.runLog += ctx.stampedLine(" - Map File Set C to " + mapName);
        }
        out.mapPrefix = mapName + "_";
        out.mapName = mapName;

        const std::string folder = trimSpaces(request.mapFolder);
        if (!folder.empty()) {
            std::string name = endsWithCfg(mapName) ? mapName : mapName + ".cfg";
            mapName = joinMapPath(folder, name, request.pathSeparator);
            out.runLog += ctx.stampedLine(" - Map File Set D to " + mapName);
        }

        if (!trimSpaces(mapName).empty()) {
            out.runLog += ctx.stampedLine(" - X12 Version/Transaction Detected  ");
            out.runLog += "   Current Directory : " + ctx.platform.currentFolder() + kCrLf;
            out.runLog += "   Current Drive : " + ctx.platform.currentDrive() + kCrLf;
            out.runLog += "   Map File : " + mapName + kCrLf;
            out.searched.push_back(folderOf(loadPath(mapName)));
            if (fileExists(loadPath(mapName))) {
                chosen = mapName;
                out.runLog += ctx.stampedLine(" - Map File Set G to " + mapName);
            } else {
                out.runLog += ctx.stampedLine(" - X12 Detected Map File NOT Present " + mapName);
                if (!shipped.folder().empty()) out.searched.push_back(inFolder(shipped.folder(), ""));
                std::string supplied = suppliedMap(mapName, 1, shipped);
                if (!trimSpaces(supplied).empty()) {
                    out.runLog += ctx.stampedLine(" - Used Map file " + supplied);
                    chosen = supplied;
                    suppliedAsIs = true;
                } else {
                    supplied = suppliedMap(mapName, 2, shipped);
                    if (!trimSpaces(supplied).empty()) {
                        out.runLog += ctx.stampedLine(" - Created and Used Map file " + supplied);
                        chosen = supplied;
                        suppliedAsIs = true;
                    }
                }
            }
        }
    }

    out.pathToLoad = (!defaultFolder.empty() && !suppliedAsIs) ? loadPath(chosen) : chosen;
    return out;
}

}  // namespace brolvin
