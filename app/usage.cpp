#include "app/usage.h"

#include "core/version.h"

namespace brolvin {

SelfRequest selfRequest(const std::vector<std::string>& params) {
    if (params.empty()) return SelfRequest::kNone;
    const std::string& first = params[0];
    if (first == "--help" || first == "-h" || first == "-?" || first == "/?") return SelfRequest::kUsage;
    if (first == "--version") return SelfRequest::kVersion;
    return SelfRequest::kNone;
}

std::vector<std::string> versionLines() {
    return {"Brolvin Core - healthcare EDI converter by Drenik Software",
            "Version:" + std::string(VERNUM) + " SubVersion:" + SUBVER};
}

std::vector<std::string> usageLines() {
    std::vector<std::string> lines = versionLines();
    const std::vector<std::string> rest = {
        "",
        "Usage: brolvin TYPE SOURCE DESTINATION [OPTIONS [EXTRA [SETTINGS]]]",
        "       brolvin --help | -h | -? | /?",
        "       brolvin --version",
        "",
        "Converts one X12 interchange to XML or CSV, or builds one X12 interchange",
        "from CSV or XML records, as a map file (.cfg) says. Every job writes the",
        "run log parse.log in the current folder. A SOURCE folder converts every file",
        "in it into the DESTINATION folder, JOBS=n files at once (default: one per core).",
        "",
        "Types:   X12,XML  X12,CSV  XML,X12  CSV,X12  (also XML,HL7 CSV,HL7 HL7,XML HL7,CSV X12,ODBC)",
        "Options: RE MF OW RPMN MAPLOG HO DS CE CR ERR DEBUG SL ML MAP=file MAPPATH=folder "
        "DEFAULTMAPPATH=folder OUTFILE=file PARSELOG=file DBMAP=file JOBS=n",
        "         (OPTIONS is one parameter: words separated by commas, no spaces)",
        "Exit:    0 converted; 1 nothing converted or output lost; 2 type or source missing",
        "         The line before \"Brolvin Core Complete\" says what the job did;",
        "         warnings go to standard error.",
        "",
        "Examples:",
        "  brolvin X12,XML claims.x12 claims.xml",
        "  brolvin X12,CSV claims.x12 claims.csv HO,OW",
        "  brolvin CSV,X12 claims.csv claims-again.x12 MAP=837p.cfg,CR",
    };
    lines.insert(lines.end(), rest.begin(), rest.end());
    return lines;
}

}  // namespace brolvin
