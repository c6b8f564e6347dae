// The job as every subsystem sees it: the job parameter set, the settings of
// the option list, and the test for the option words later steps look for.
#pragma once

#include <string>

namespace brolvin {

struct JobParams {
    std::string conversionType;      // slot 1
    std::string source;              // slot 2
    std::string destination;         // slot 3
    std::string options;             // slot 4
    std::string currentDestination;  // slot 5: the file the engine writes
    std::string unused;              // slot 6: not set
};

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
    int jobs = 0;                      // "JOBS=" value: files converted at once; 0 = one per core

    bool overwriteOn() const;  // the overwrite word begins with "OW"
    bool mergeOn() const;      // the merge word begins with "MF"
};

// The option words that later steps look for in the option list themselves.
enum class OptionCode {
    HeaderLine = 1,     // "HO": CSV output begins with a header line
    Overwrite = 2,      // "OW"
    Debug = 3,          // "DEBUG"
    ServiceLines = 4,   // "SL": service-line mode
    EveryLine = 5,      // "ML": one record per service line, every line
};

// CTL48400J, the option tester: true when some comma-separated word of the
// option list begins (upper-cased) with the word of the code; false for a
// value outside the enumeration.
bool hasOption(const JobParams& job, OptionCode code);

}  // namespace brolvin
