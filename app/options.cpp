#include "app/options.h"

#include <string_view>

#include "app/job_params.h"
#include "util/text.h"

namespace brolvin {

namespace {

enum class OptionCode {
    RetainExtension,
    Merge,
    Overwrite,
    RenameWithMapName,
    MapLog,
    Header,
    DeleteSource,
    ConvertExtension,
    SegmentCrLf,
    ErrorFiles,
    Debug,
    DefaultMapPath,
    MapPath,
    MapName,
    OutputFile,
    RunLogName,
    DatabaseMap,
};

struct OptionWord {
    std::string_view code;
    std::string_view logLine;
    OptionCode id;
};

// Tried in this order; the first code the upper-cased word begins with wins,
// so REPORT counts as "RE" and MAPLOG is never taken for "MAP=".
constexpr OptionWord kOptionWords[] = {
    {"RE", " - Retain File Extension.", OptionCode::RetainExtension},
    {"MF", " - Merge Files Set to Yes.", OptionCode::Merge},
    {"OW", " - Overwrite Files Set to Yes.", OptionCode::Overwrite},
    {"RPMN", " - Rename with Prefix Map Name.", OptionCode::RenameWithMapName},
    {"MAPLOG", " - Map Log ON.", OptionCode::MapLog},
    {"HO", " - Header On File Set to Yes.", OptionCode::Header},
    {"DS", " - Delete Source File Set to Yes.", OptionCode::DeleteSource},
    {"CE", " - Convert destination File Extesion.", OptionCode::ConvertExtension},
    {"CR", " - Add CR/LF to end of X12 Segment.", OptionCode::SegmentCrLf},
    {"ERR", " - Error Files Set to Yes.", OptionCode::ErrorFiles},
    {"DEBUG", " - Debug is on.", OptionCode::Debug},
    {"DEFAULTMAPPATH=", " - DefaultMapPath = ", OptionCode::DefaultMapPath},
    {"MAPPATH=", " - MapPath = ", OptionCode::MapPath},
    {"MAP=", " - Map = ", OptionCode::MapName},
    {"OUTFILE=", " - OutFile = ", OptionCode::OutputFile},
    {"PARSELOG=", " - Parselog = ", OptionCode::RunLogName},
    {"DBMAP=", " - DbMap = ", OptionCode::DatabaseMap},
};

const OptionWord* findOptionWord(const std::string& upperWord) {
    if (upperWord.empty()) return nullptr;
    for (const OptionWord& w : kOptionWords)
        if (beginsWith(upperWord, w.code)) return &w;
    return nullptr;
}

// Applies one taken word; returns any extra run-log text beyond the word's line.
std::string applyWord(const OptionWord& w, const std::string& word, JobSettings& s,
                      RunContext& ctx) {
    std::string upper = toUpper(word);
    std::string value = trimSpaces(std::string_view(word).substr(w.code.size()));
    switch (w.id) {
        case OptionCode::RetainExtension: s.extensionMode = 0; break;
        case OptionCode::Merge: s.merge = upper; break;
        case OptionCode::Overwrite: s.overwrite = upper; break;
        case OptionCode::RenameWithMapName: s.renameWithMapName = 1; break;
        case OptionCode::MapLog: s.mapLog = 1; break;
        case OptionCode::Header: s.header = upper; break;
        case OptionCode::DeleteSource: s.deleteSource = 1; break;
        case OptionCode::ConvertExtension: s.destinationExtensionMode = 0; break;
        case OptionCode::SegmentCrLf: s.segmentCrLf = 1; break;
        case OptionCode::ErrorFiles: s.errorFiles = upper; break;
        case OptionCode::Debug: s.debug = upper; break;
        case OptionCode::DefaultMapPath: s.defaultMapPath = value; break;
        case OptionCode::MapPath: s.mapPath = value; break;
        case OptionCode::MapName: s.mapName = value; break;
        case OptionCode::OutputFile: s.outputFile = value; break;
        case OptionCode::RunLogName:
            s.runLogName = value;
            return ctx.stampedLine(" - Parse Log Set to : " + value);
        case OptionCode::DatabaseMap:
            s.databaseMap = value;
            return ctx.stampedLine(" - Database Map File : " + value);
    }
    return "";
}

// Calls `visit` with each comma-separated word of the list. A comma that is
// the last character ends the word before it and opens no new one.
template <typename Visit>
void forEachWord(const std::string& list, Visit visit) {
    size_t start = 0;
    while (start < list.size()) {
        size_t comma = list.find(',', start);
        if (comma == std::string::npos) {
            visit(list.substr(start));
            return;
        }
        visit(list.substr(start, comma - start));
        start = comma + 1;
    }
}

}  // namespace

bool JobSettings::overwriteOn() const { return beginsWith(overwrite, "OW"); }

std::string splitOptionList(const std::string& list, JobSettings& settings, RunContext& ctx) {
    std::string log;
    forEachWord(list, [&](const std::string& word) {
        const OptionWord* w = findOptionWord(toUpper(word));
        if (w == nullptr) return;
        log += ctx.stampedLine(std::string(w->logLine));
        log += applyWord(*w, word, settings, ctx);
    });
    return log;
}

bool CTL48400J(const JobParams& job, int code) {
    static constexpr std::string_view kCodes[] = {"HO", "OW", "DEBUG", "SL", "ML"};
    if (code < 1 || code > 5) return false;
    std::string_view wanted = kCodes[code - 1];
    bool found = false;
    forEachWord(job.options, [&](const std::string& word) {
        if (!found && beginsWith(toUpper(word), wanted)) found = true;
    });
    return found;
}

}  // namespace brolvin
