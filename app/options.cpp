#include "app/options.h"

#include <string_view>

#include "util/text.h"

namespace brolvin {

namespace {

enum class OptionSetting {
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
    Jobs,
};

struct OptionWord {
    std::string_view code;
    std::string_view logLine;
    OptionSetting id;
};

// Tried in this order; the first code the upper-cased word begins with wins,
// so REPORT counts as "RE" and MAPLOG is never taken for "MAP=".
constexpr OptionWord kOptionWords[] = {
    {"RE", " - Retain File Extension.", OptionSetting::RetainExtension},
    {"MF", " - Merge Files Set to Yes.", OptionSetting::Merge},
    {"OW", " - Overwrite Files Set to Yes.", OptionSetting::Overwrite},
    {"RPMN", " - Rename with Prefix Map Name.", OptionSetting::RenameWithMapName},
    {"MAPLOG", " - Map Log ON.", OptionSetting::MapLog},
    {"HO", " - Header On File Set to Yes.", OptionSetting::Header},
    {"DS", " - Delete Source File Set to Yes.", OptionSetting::DeleteSource},
    {"CE", " - Convert destination File Extesion.", OptionSetting::ConvertExtension},
    {"CR", " - Add CR/LF to end of X12 Segment.", OptionSetting::SegmentCrLf},
    {"ERR", " - Error Files Set to Yes.", OptionSetting::ErrorFiles},
    {"DEBUG", " - Debug is on.", OptionSetting::Debug},
    {"DEFAULTMAPPATH=", " - DefaultMapPath = ", OptionSetting::DefaultMapPath},
    {"MAPPATH=", " - MapPath = ", OptionSetting::MapPath},
    {"MAP=", " - Map = ", OptionSetting::MapName},
    {"OUTFILE=", " - OutFile = ", OptionSetting::OutputFile},
    {"PARSELOG=", " - Parselog = ", OptionSetting::RunLogName},
    {"DBMAP=", " - DbMap = ", OptionSetting::DatabaseMap},
    {"JOBS=", " - Jobs = ", OptionSetting::Jobs},
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
        case OptionSetting::RetainExtension: s.extensionMode = 0; break;
        case OptionSetting::Merge: s.merge = upper; break;
        case OptionSetting::Overwrite: s.overwrite = upper; break;
        case OptionSetting::RenameWithMapName: s.renameWithMapName = 1; break;
        case OptionSetting::MapLog: s.mapLog = 1; break;
        case OptionSetting::Header: s.header = upper; break;
        case OptionSetting::DeleteSource: s.deleteSource = 1; break;
        case OptionSetting::ConvertExtension: s.destinationExtensionMode = 0; break;
        case OptionSetting::SegmentCrLf: s.segmentCrLf = 1; break;
        case OptionSetting::ErrorFiles: s.errorFiles = upper; break;
        case OptionSetting::Debug: s.debug = upper; break;
        case OptionSetting::DefaultMapPath: s.defaultMapPath = value; break;
        case OptionSetting::MapPath: s.mapPath = value; break;
        case OptionSetting::MapName: s.mapName = value; break;
        case OptionSetting::OutputFile: s.outputFile = value; break;
        case OptionSetting::RunLogName:
            s.runLogName = value;
            return ctx.stampedLine(" - Parse Log Set to : " + value);
        case OptionSetting::DatabaseMap:
            s.databaseMap = value;
            return ctx.stampedLine(" - Database Map File : " + value);
        case OptionSetting::Jobs: {
            // A count from 1 to 1024; anything else keeps one per core.
            int n = 0;
            bool digits = !value.empty() && value.size() <= 4 &&
                          value.find_first_not_of("0123456789") == std::string::npos;
            if (digits) n = std::stoi(value);
            s.jobs = n >= 1 && n <= 1024 ? n : 0;
            if (s.jobs == 0) return ctx.stampedLine(" - Jobs value not a count from 1 to 1024, one per core : " + value);
            return ctx.stampedLine(" - Jobs Set to : " + value);
        }
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

}  // namespace brolvin
