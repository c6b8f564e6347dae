// Choosing the map file of a conversion: the map named by the user, the map
// that the interchange's version selects, or the one a database map names.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "dbexport/db_map.h"
#include "map/shipped_maps.h"
#include "core/isa_reader.h"
#include "util/platform.h"

namespace brolvin {

struct MapChoiceRequest {
    std::string mapName;          // "MAP=" value; "" = detect from the interchange
    std::string source;           // source file
    std::string debug;            // debug option text; not blank = debug on
    std::string mapFolder;        // "MAPPATH=" value
    std::string pathSeparator;    // put between a folder and a name; "" = the system's ("/" or "\")
    std::string defaultMapPath;   // "DEFAULTMAPPATH=" value
    std::string databaseMapName;  // database map file name; not empty = no detection
    const DbMapTable* databaseMap = nullptr;
    const ShippedMaps* shippedMaps = nullptr;  // null = the program's own maps folder
    const SourceHead* sourceHead = nullptr;    // the source's start, when already read
};

struct MapChoice {
    std::string pathToLoad;  // the map file to load, default folder included
    std::string mapName;     // the name the choice settled on (before any folder)
    std::string mapPrefix;   // map name + "_"; "" when the user named the map
    std::string runLog;      // time-stamped run-log lines
    std::string debugText;   // text for the debug log (a detection trace)
    // For the job's outcome when no map loads: whether the user named the
    // map, what the detection saw, and the folders a map name was looked for in.
    bool named = false;
    bool detected = false;   // the interchange was scanned for its version
    std::string gs08;
    std::string st01;
    std::vector<std::string> searched;
};

// Why no map could be loaded for the choice, in words for the console;
// `sourceKind` is the first three letters of the conversion type.
std::string noMapReason(const MapChoice& choice, std::string_view sourceKind);

MapChoice chooseMap(const MapChoiceRequest& request, RunContext& ctx);

// CTLD48400AE: the map name a database map gives for the source.
// The map name a database map gives for the source's transaction set, or
// `currentMapPath` when the database map file is missing or names none.
std::string mapFromDatabaseMap(const std::string& source, const std::string& currentMapPath,
                               const DbMapTable* databaseMap, const std::string& databaseMapFile,
                               Platform& platform);

// CTLD48600Q: a shipped map in place of a missing one.
// Supplies a map file for a missing one. Mode 1: the shipped map of the same
// file name, as a full path; mode 2 (create one): none. "" for none.
std::string suppliedMap(const std::string& mapName, int mode, const ShippedMaps& shipped);
std::string suppliedMap(const std::string& mapName, int mode);

// Folder and name joined with `separator` ("" = "/", on Windows "\"), with no separator added
// when the folder already ends in "/" or "\".
// True when the name ends in ".cfg", in any letter case.
bool endsWithCfg(std::string_view name);

std::string joinMapPath(const std::string& folder, const std::string& name,
                        const std::string& separator);

}  // namespace brolvin
