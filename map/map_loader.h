// Loading of a map file into its in-memory tables, with the map log and the
// run-log summary of the load.
#pragma once

#include <string>

#include "core/field_table.h"
#include "core/map_cache.h"
#include "util/platform.h"

namespace brolvin {

struct MapLoadResult {
    LoadedMap map;           // hasFieldTable false when the file was missing or empty
    std::string mapLogText;  // the map log, built only when it is written
    std::string runLog;      // run-log lines of the load, failure lines included
    // The file was beyond kMaxMapFileBytes or kMaxMapTableLines: no field
    // table, and the run log says why.
    bool refused = false;
    std::string refusal;  // why, when refused
};

// Loads the map file `path` (already joined with any default map folder).
// With `mapLogOn` the map log is written to "qzmap.log" in the current folder.
// `runLabel` goes into the map log's title, `engineStart` into its start line.
// A missing, empty or unreadable file yields no field table and the run-log
// lines of the mapping error; the caller then stops the conversion. So does
// a file beyond the map size limits, with its own line.
MapLoadResult loadMap(const std::string& path, bool mapLogOn, const std::string& runLabel,
                      const DateTime& engineStart, RunContext& ctx);

// The same through `cache`: a path loaded before is copied from it, with the
// run-log lines of a load; a new one is loaded and kept when it loaded. The
// map log, when on, is built by a load of its own.
MapLoadResult loadMapCached(MapCache& cache, const std::string& path, bool mapLogOn, const std::string& runLabel,
                            const DateTime& engineStart, RunContext& ctx);

}  // namespace brolvin
