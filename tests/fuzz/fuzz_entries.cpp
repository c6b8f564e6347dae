#include "fuzz/fuzz_entries.h"

#include <string.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string_view>

#include "app/entry.h"
#include "fuzz/find_bytes.h"
#include "dbexport/db_map.h"
#include "core/field_table.h"
#include "map/map_loader.h"
#include "map/service_line_expansion.h"
#include "util/file_io.h"
#include "util/platform.h"
#include "util/text.h"
#include "util/os.h"
#include "x12parse/field_functions.h"

namespace brolvin::fuzz {

namespace {

// A quiet platform with a fixed clock: console output is dropped and no key
// is ever waited for.
class QuietPlatform : public Platform {
public:
    DateTime now() override { return {2026, 1, 15, 9, 30, 0}; }
    std::string currentFolder() override { return "fuzz"; }
    std::string currentDrive() override { return ""; }
    std::string operatingSystem() override { return "fuzz"; }
    std::string compilerVersion() override { return "fuzz"; }
    void consoleLine(const std::string&) override {}
    void warningLine(const std::string&) override {}
    bool inputIsTerminal() override { return false; }
    void waitForKey() override {}
};

// Empties the current folder so one input never sees the files of another.
// Refuses to run anywhere but a temporary folder made for tests or fuzzing.
void clearCurrentFolder() {
    namespace fs = std::filesystem;
    const fs::path here = fs::current_path();
    if (here.filename().string().rfind("brolvin-", 0) != 0) std::abort();
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(here, ec)) {
        std::error_code ignored;
        fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(entry.path(), ignored);
    }
}

std::string_view asText(const uint8_t* data, size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// Cuts `text` at the first divider: the part before it, and the rest after it
// (or all of `text` and "" when there is no divider).
std::pair<std::string_view, std::string_view> splitAtDivider(std::string_view text) {
    const size_t dividerSize = strlen(kDivider);
    if (text.empty()) return {text, {}};
    const size_t at = fuzz::findBytes(text, std::string_view(kDivider, dividerSize));
    if (at == std::string_view::npos) return {text, {}};
    return {text.substr(0, at), text.substr(at + dividerSize)};
}

void put(const std::string& name, std::string_view content) {
    writeWholeFile(name, std::string(content));
}

int runMain(const std::vector<std::string>& params) {
    QuietPlatform platform;
    return MAIN(params, platform);
}

// Option bits of the first input byte.
enum OptionBit : uint8_t {
    kBitAlternate = 1,  // CSV output, or a fuzzed map for the generation targets
    kBitHeader = 2,
    kBitServiceLines = 4,
    kBitLineExpansion = 8,
    kBitDebug = 16,
    kBitMerge = 32,
    kBitDeleteSource = 64,
    kBitMapLog = 128,
};

std::string optionList(uint8_t bits, const std::string& mapName) {
    std::string options = "MAP=" + mapName;
    if (bits & kBitHeader) options += ",HO";
    if (bits & kBitServiceLines) options += ",SL";
    if (bits & kBitLineExpansion) options += ",ML";
    if (bits & kBitDebug) options += ",DEBUG";
    if (bits & kBitDeleteSource) options += ",DS";
    if (bits & kBitMapLog) options += ",MAPLOG";
    return options;
}

// Lookup files the fixed maps' function field uses.
void putFunctionFiles() {
    put("fn.txt", "CSVTABLE tab.csv\r\n");
    put("tab.csv", "99213,OFFICE VISIT\r\n8,EIGHT,X\r\n\r\n,DEFAULT\r\n");
}

const char* const kParseMap =
    "KEYHEADERFIELD=HL,,,20\r\n"
    "KEYFIELD=CLM\r\n"
    "KEYLINEFIELD=LX\r\n"
    "KEYTRAILERFIELD=SE\r\n"
    "FIELD=SENDER,15,NM1,41,2,3,,,,1,,Sender\r\n"
    "FIELD=PROVIDER,35,NM1,85,2,3,,,,2,,Provider\r\n"
    "FIELD=PAYER,35,NM1,PR,1,3,,,2,3,,Second payer\r\n"
    "FIELD=CLAIMID,20,CLM,,,1,,,,0,,Claim\r\n"
    "FIELD=AMOUNT,10,CLM,,,2,,CLAIMID,,0,,Amount,2,3\r\n"
    "FIELD=DIAG,10,HI,BK:ABK,1,1,2,,,0,,Diagnosis\r\n"
    "FIELD=REFNO,10,REF,,,2,,,,0,,Ref after NM1,,,,,,NM1,85,1\r\n"
    "FIELD=PROC1,10,SV1,HC,2,1,2,,,0,1,Procedure,,,fn.txt\r\n"
    "FIELD=CHG1,10,SV1,HC,2,2,,PROC1,,0,1,Line charge\r\n"
    "FIELD=DTP1,10,DTP,472,1,3,,,,4,1,Line date\r\n"
    "FIELD=SRC,50,,,,,,,,5\r\n"
    "FIELD=DST,50,,,,,,,,6\r\n"
    "FIELD=END,1,ZZZ\r\n";

const char* const kGenerationMap =
    "X12TRANSACTIONTYPE=837\r\n"
    "VERSION=005010X222A1\r\n"
    "ISA06=SENDER\r\nISA08=RECEIVER\r\nISA13=000000123\r\nGS6=1\r\nST2=0001\r\n"
    "FIELD=CLAIMID,20\r\n"
    "FIELD=NOTE,80\r\n"
    "FIELD=KEEP,10,,,,,,,,1\r\n"
    "FIELD=CHARGE1,10,,,,,,,,0,1\r\n"
    "FIELD=UNITS1,10,,,,,,,,0,1\r\n"
    "FIELD=TOTAL,10\r\n"
    "SEGMENT=1,BHT,0019,00,$CLAIMID\r\n"
    "SEGMENT=2,CLM,$CLAIMID,$TOTAL,,,11:B:1\r\n"
    "SEGMENT=2,NTE,ADD,$NOTE,$KEEP\r\n"
    "SEGMENT=3,LX,$LX\r\n"
    "SEGMENT=3,SV1,HC:$CHARGE,$UNITS\r\n"
    "SEGMENT=4,HL,$HL,,20,1\r\n";

// One X12 job from in.x12 with the given map already in m.cfg; with the
// merge bit a second job appends to the first one's output.
void runParseJobs(uint8_t bits) {
    const bool csv = bits & kBitAlternate;
    const std::string type = csv ? "X12,CSV" : "X12,XML";
    const std::string out = csv ? "out.csv" : "out.xml";
    const std::string options = optionList(bits, "m.cfg");
    runMain({type, "in.x12", out, options});
    if (bits & kBitMerge) runMain({type, "in.x12", "next" + out, options + ",MF,OUTFILE=" + out});
}

int generationEntry(const uint8_t* data, size_t size, const std::string& type) {
    clearCurrentFolder();
    if (size == 0) return 0;
    const uint8_t bits = data[0];
    std::string_view rest = asText(data + 1, size - 1);
    if (bits & kBitAlternate) {
        auto [map, records] = splitAtDivider(rest);
        put("m.cfg", map);
        put("in.txt", records);
    } else {
        put("m.cfg", kGenerationMap);
        put("in.txt", rest);
    }
    std::string options = optionList(bits, "m.cfg");
    runMain({type, "in.txt", "out.x12", options});
    if (bits & kBitMerge) runMain({type, "in.txt", "out.x12", options + ",OW"});
    return 0;
}

}  // namespace

int mapLoader(const uint8_t* data, size_t size) {
    clearCurrentFolder();
    put("m.cfg", asText(data, size));
    QuietPlatform platform;
    RunContext ctx(platform);
    MapLoadResult loaded = loadMap("m.cfg", true, "fuzz", platform.now(), ctx);
    if (loaded.map.hasFieldTable) {
        // The service-line expansion must keep the table usable for any line count.
        for (long long lines : {0LL, 1LL, 3LL}) {
            FieldTable expanded = withServiceLineCopies(loaded.map.fields, lines);
            fieldColumn(expanded, 1);
            fieldColumn(expanded, 2);
        }
    }
    return 0;
}

int databaseMap(const uint8_t* data, size_t size) {
    clearCurrentFolder();
    put("db.map", asText(data, size));
    std::optional<DbMapTable> table = loadDatabaseMap("db.map");
    if (table) {
        const int rows = static_cast<int>(table->size());
        for (int row = 0; row <= rows + 1; ++row) databaseFieldList(*table, row);
    }
    return 0;
}

int x12FixedMap(const uint8_t* data, size_t size) {
    clearCurrentFolder();
    if (size == 0) return 0;
    put("m.cfg", kParseMap);
    putFunctionFiles();
    put("in.x12", asText(data + 1, size - 1));
    runParseJobs(data[0]);
    return 0;
}

int x12FuzzedMap(const uint8_t* data, size_t size) {
    clearCurrentFolder();
    if (size == 0) return 0;
    auto [map, source] = splitAtDivider(asText(data + 1, size - 1));
    put("m.cfg", map);
    putFunctionFiles();
    put("in.x12", source);
    runParseJobs(data[0]);
    return 0;
}

int csvInput(const uint8_t* data, size_t size) { return generationEntry(data, size, "CSV,X12"); }

int xmlInput(const uint8_t* data, size_t size) { return generationEntry(data, size, "XML,X12"); }

int fieldFunctions(const uint8_t* data, size_t size) {
    clearCurrentFolder();
    auto [function, rest] = splitAtDivider(asText(data, size));
    auto [table, value] = splitAtDivider(rest);
    put("fn.txt", function);
    put("tab.csv", table);

    LookupTable parsed = parseLookupTable(table);
    lookupRow(parsed, value);

    FunctionFiles files;
    applyFieldFunction("fn.txt", value, "SV1*HC:99213*40", files);
    applyFieldFunction("missing.txt", value, "SV1", files);
    FieldTable fields(2);
    fields[0].function = "fn.txt";
    fields[1].function = " fn.txt ";
    for (long long position : {-1LL, 0LL, 1LL, 2LL, 3LL})
        CTL48400N(value, position, value, fields, '*', ':', files);
    CTL48400P(function, value, value, '*', ':', files);
    return 0;
}

namespace {

// Names a fuzzed name may stand for: the source by other spellings and
// links, and the fixed names the job writes.
std::string pickName(std::string_view part, const std::string& source) {
    if (part.size() == 1 && static_cast<uint8_t>(part[0]) < 8) {
        const std::string names[] = {source,      "hard.x12",  "sym.x12",   "./" + source,
                                     "sub/../" + source, "debug.log", "qzmap.log", "837p_out.xml"};
        return names[static_cast<uint8_t>(part[0])];
    }
    // Names stay in the work folder and stay one option word each.
    std::string name;
    for (char c : part.substr(0, 64))
        if (c != '/' && c != ',' && c != '\0') name += c;
    return name;
}

// A temporary output file of this process left behind: a hidden name that
// ends in its mark (holding the process id) and a number. The fuzzer learns
// the mark from this very comparison and gives names like it, so a name the
// job was given (as given, or without the spaces around it that the job
// drops), or the "RPMN" name made from one, is never taken for one.
bool unfinishedOutputLeft(const std::vector<std::string>& givenNames) {
    namespace fs = std::filesystem;
    const std::string mark = ".part-" + std::to_string(os::processId()) + "-";
    auto looksTemporary = [&](const std::string& name) {
        const size_t at = name.rfind(mark);
        if (name.empty() || name[0] != '.' || at == std::string::npos || at + mark.size() == name.size())
            return false;
        return std::all_of(name.begin() + static_cast<std::ptrdiff_t>(at + mark.size()), name.end(),
                           [](char c) { return c >= '0' && c <= '9'; });
    };
    auto given = [&](const std::string& name) {
        auto endsWith = [&](std::string_view g) {
            return !g.empty() && name.size() >= g.size() && name.compare(name.size() - g.size(), g.size(), g) == 0;
        };
        return std::any_of(givenNames.begin(), givenNames.end(),
                           [&](const std::string& g) { return endsWith(g) || endsWith(spacesTrimmedView(g)); });
    };
    std::error_code ec;
    for (const char* folder : {".", "sub"})
        for (const fs::directory_entry& e : fs::directory_iterator(folder, ec)) {
            const std::string name = e.path().filename().string();
            if (looksTemporary(name) && !given(name)) return true;
        }
    return false;
}

}  // namespace

int jobNames(const uint8_t* data, size_t size) {
    clearCurrentFolder();
    if (size < 2) return 0;
    const uint8_t options = data[0], choice = data[1];
    const char* const sources[] = {"in.x12",     "out.xml",   "debug.log",    "qzmap.log",
                                   "tdebug.log", "parse.log", "837p_out.xml", "w.log"};
    const char* const types[] = {"X12,XML", "X12,CSV", "CSV,X12", "HL7,XML", "XML,X12", "X12,XML", "X12,CSV", "X12,XML"};
    const std::string source = sources[choice & 7];
    const std::string content =
        "ISA*00*          *00*          *ZZ*SENDER         *ZZ*RECEIVER       *260115*0930*^*00501*000000101*0*T*:~"
        "GS*HC*S*R*20260115*0930*1*X*005010X222A1~ST*837*0001~HL*1**20*1~NM1*85*2*NORTH~HL*2*1*22*0~"
        "CLM*A1*100~LX*1~SV1*HC:99213*40~SE*8*0001~GE*1*1~IEA*1*000000101~";
    std::filesystem::create_directory("sub");
    put(source, content);
    put("m.cfg", kParseMap);
    std::error_code ec;
    std::filesystem::create_hard_link(source, "hard.x12", ec);
    std::filesystem::create_symlink(source, "sym.x12", ec);

    auto [destination, rest] = splitAtDivider(asText(data + 2, size - 2));
    auto [outFile, parseLog] = splitAtDivider(rest);
    std::string list = (options & 1) ? "MAP=m.cfg" : "MAPPATH=";
    const char* const words[] = {"", ",OW", ",MF", ",CE", ",RPMN", ",DS", ",DEBUG", ",MAPLOG"};
    for (int bit = 1; bit < 8; ++bit)
        if (options & (1 << bit)) list += words[bit];
    std::vector<std::string> givenNames = {pickName(destination, source)};
    if (!outFile.empty()) {
        givenNames.push_back(pickName(outFile, source));
        list += ",OUTFILE=" + givenNames.back();
    }
    if (!parseLog.empty()) {
        givenNames.push_back(pickName(parseLog, source));
        list += ",PARSELOG=" + givenNames.back();
    }

    const int status = runMain({types[choice >> 5], source, givenNames.front(), list});
    std::string after;
    const bool deleted = (options & (1 << 5)) && status == 0;
    if (!deleted && (!readWholeFile(source, after) || after != content)) std::abort();
    if (unfinishedOutputLeft(givenNames)) std::abort();
    return 0;
}

const std::vector<NamedEntry>& allEntries() {
    static const std::vector<NamedEntry> entries = {
        {"map_loader", mapLoader},     {"db_map", databaseMap},
        {"x12_fixed_map", x12FixedMap}, {"x12_fuzzed_map", x12FuzzedMap},
        {"csv_input", csvInput},       {"xml_input", xmlInput},
        {"field_functions", fieldFunctions}, {"job_names", jobNames},
        {"dbf_table", dbfTable},       {"ntx_index", ntxIndex},
        {"cdx_index", cdxIndex},
    };
    return entries;
}

}  // namespace brolvin::fuzz
