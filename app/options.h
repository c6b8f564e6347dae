// The job settings carried by the option list, and the splitting of that list
// into option words.
#pragma once

#include <string>

#include "util/platform.h"

namespace brolvin {

// Every value the option list can set, with its default.
struct JobSettings {
    int extensionMode = 1;             // "RE" -> 0: derived names keep the source extension
    std::string merge;                 // "MF": the word in upper case
    std::string overwrite;             // "OW": the word in upper case
    int renameWithMapName = 0;         // "RPMN" -> 1
    int mapLog = 0;                    // "MAPLOG" -> 1
    std::string header;                // "HO": the word in upper case
    int deleteSource = 0;              // "DS" -> 1
    int destinationExtensionMode = 1;  // "CE" -> 0: replace the destination extension
    int segmentCrLf = 0;               // "CR" -> 1
    std::string errorFiles;            // "ERR": the word in upper case
    std::string debug;                 // "DEBUG": the word in upper case
    std::string defaultMapPath;        // "DEFAULTMAPPATH=" value
    std::string mapPath;               // "MAPPATH=" value
    std::string mapName;               // "MAP=" value
    std::string outputFile;            // "OUTFILE=" value
    std::string runLogName = "parse.log";  // "PARSELOG=" value
    std::string databaseMap;           // "DBMAP=" value: database map file for "X12,ODBC"

    bool overwriteOn() const;  // the overwrite word begins with "OW"
};

// Splits the comma-separated option list into words, applies each word that
// begins (upper-cased) with a known code to `settings`, and returns the
// time-stamped run-log lines of the taken words in list order. Words that
// begin with no code are ignored silently.
std::string splitOptionList(const std::string& list, JobSettings& settings, RunContext& ctx);

}  // namespace brolvin
