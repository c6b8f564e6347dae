#include "map/version_detect.h"

#include <array>

#include "util/file_blocks.h"
#include "util/file_io.h"
#include "util/text.h"
#include "core/isa_reader.h"

namespace brolvin {

namespace {

constexpr long long kScanLimit = 1000;  // last offset examined
constexpr const char* kTraceFile = "tdebug.log";

struct VersionColumn {
    const char* key4010;
    const char* key5010;
    const char* mapName;
};

constexpr std::array<VersionColumn, 12> kVersionTable{{
    {"004010X096A1.cfg", "005010X223A2.cfg", "837I.cfg"},
    {"004010X091A1.cfg", "005010X221.cfg", "835.cfg"},
    {"004010X093A1A.cfg", "005010X212A.cfg", "276.cfg"},
    {"004010X093A1B.cfg", "005010X212B.cfg", "277.cfg"},
    {"004010X092A1A.cfg", "005010X279A.cfg", "270.cfg"},
    {"004010X092A1B.cfg", "005010X279B.cfg", "271.cfg"},
    {"004010X094A1A.cfg", "005010X217A.cfg", "278a.cfg"},
    {"004010X094A1B.cfg", "005010X217B.cfg", "278b.cfg"},
    {"004010X095A1.cfg", "005010X220.cfg", "834.cfg"},
    {"004010X098A1.cfg", "005010X222A2.cfg", "837p.cfg"},
    {"004010X097A1.cfg", "005010X224A2.cfg", "837d.cfg"},
    {"004010X061A1.cfg", "005010X218.cfg", "820.cfg"},
}};

// How a guide (first ten characters of GS08) picks its map.
enum class GuideRule { Single, BySt01, ByBht02 };

// Single: `first` is the map. BySt01: `first` and `second` are the two
// transaction sets served, each with the map of its own number. ByBht02:
// `first` for a request, `second` for a response (BHT02 "11").
struct Guide {
    const char* id4010;  // "" for a guide without a 4010 edition
    const char* id5010;
    GuideRule rule;
    const char* first;
    const char* second;
};

constexpr std::array<Guide, 11> kGuides{{
    {"004010X096", "005010X223", GuideRule::Single, "837I.cfg", nullptr},
    {"004010X091", "005010X221", GuideRule::Single, "835.cfg", nullptr},
    {"004010X093", "005010X212", GuideRule::BySt01, "276", "277"},
    {"004010X092", "005010X279", GuideRule::BySt01, "270", "271"},
    {"004010X094", "005010X217", GuideRule::ByBht02, "278a.cfg", "278b.cfg"},
    {"004010X095", "005010X220", GuideRule::Single, "834.cfg", nullptr},
    {"004010X098", "005010X222", GuideRule::Single, "837p.cfg", nullptr},
    {"004010X097", "005010X224", GuideRule::Single, "837d.cfg", nullptr},
    {"004010X061", "005010X218", GuideRule::Single, "820.cfg", nullptr},
    {"", "005010X214", GuideRule::Single, "277CA.cfg", nullptr},
    {"", "005010X231", GuideRule::Single, "999.cfg", nullptr},
}};

// The transaction sets served by exactly one map, and the sets a two-map
// guide chooses between.
std::string mapForSet(const std::string& st01) {
    static constexpr std::array<const char*, 9> kSets{"835", "834", "820", "270", "271",
                                                      "276", "277", "997", "999"};
    for (const char* set : kSets)
        if (st01 == set) return std::string(set) + ".cfg";
    return "";
}

}  // namespace

std::string segmentElement(std::string_view segment, long long elementNumber, std::string_view separator) {
    if (elementNumber < 1) return "";
    if (separator.empty()) return elementNumber == 1 ? std::string(segment) : "";
    size_t start = 0;
    for (long long n = 1;; ++n) {
        size_t at = segment.find(separator, start);
        if (n == elementNumber)
            return std::string(segment.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start));
        if (at == std::string_view::npos) return "";
        start = at + separator.size();
    }
}

std::string mapForVersion(const std::string& version) {
    std::string key = version + ".cfg";
    for (const auto& column : kVersionTable)
        if (beginsWith(column.key4010, key)) return column.mapName;
    for (const auto& column : kVersionTable)
        if (beginsWith(column.key5010, key)) return column.mapName;
    return "";
}

InterchangeScan scanInterchange(const std::string& source, const std::string& debugSetting,
                                RunContext& ctx, const SourceHead* head) {
    InterchangeScan scan;
    const bool debug = !isBlank(debugSetting);
    Platform& platform = ctx.platform;
    const Delimiters delimiters = head ? head->delimiters : readDelimiters(source, platform);
    const std::string st(1, delimiters.terminator);
    const std::string ds(1, delimiters.elementSeparator);
    const std::string ss(1, delimiters.subElementSeparator);
    if (debug) scan.trace += " xst=" + st + kCrLf + " xds=" + ds + kCrLf + " xss=" + ss + kCrLf;

    // Offsets 0 to 1000, read as one block.
    static_assert(kScanLimit < static_cast<long long>(kSourceHeadBytes));
    std::string bytes;
    if (head) {
        bytes = head->start.substr(0, static_cast<size_t>(kScanLimit + 1));
    } else {
        BlockReadError error;
        readFileBlocks(
            source,
            [&](std::string_view block) {
                bytes.assign(block);
                return false;
            },
            error, static_cast<size_t>(kScanLimit + 1));
        if (error.code != 0)
            platform.warningLine(readErrorText(error));
    }

    const char terminator = st[0];
    bool gsFound = false;  // the traced search ends at GS; ST and BHT are looked for on
    std::string segment;
    for (size_t offset = 0; offset < bytes.size(); ++offset) {
        char c = bytes[offset];
        if (c != terminator) {
            segment.push_back(c);
        } else {
            std::string id = segmentElement(trimLine(segment), 1, ds);
            if (!gsFound) {
                if (debug) scan.trace += " Segment =" + id + kCrLf + " Segment Data=" + segment + kCrLf;
                if (beginsWith(id, "GS")) {
                    scan.version = segmentElement(segment, 9, ds);
                    if (debug) scan.trace += " Set GS =" + segment + kCrLf + " GG Version =" + scan.version + kCrLf;
                    gsFound = true;
                }
            }
            if (id == "ST" && !scan.foundSt) {
                scan.foundSt = true;
                scan.st01 = trimSpaces(segmentElement(segment, 2, ds));
            } else if (id == "BHT" && scan.foundSt && !scan.foundBht) {
                scan.foundBht = true;
                scan.bht02 = trimSpaces(segmentElement(segment, 3, ds));
                scan.bht06 = trimSpaces(segmentElement(segment, 7, ds));
            }
            if (gsFound && scan.foundSt && scan.foundBht) break;
            segment.clear();
        }
        if (offset + 1 > static_cast<size_t>(kScanLimit)) {
            if (debug && !gsFound) scan.trace += std::string(" Exit 1000 ") + kCrLf;
            break;
        }
    }
    return scan;
}

std::string CTL48400K(const std::string& source, const std::string& debugSetting, RunContext& ctx) {
    InterchangeScan scan = scanInterchange(source, debugSetting, ctx);
    if (!isBlank(debugSetting) && ctx.sideLogFiles) writeLogFile(kTraceFile, scan.trace);
    return scan.version;
}

std::string guideMapName(const InterchangeScan& scan, std::string* reason) {
    std::string guideId = scan.version.substr(0, 10);
    for (const Guide& guide : kGuides) {
        if (guideId.empty() || (guideId != guide.id4010 && guideId != guide.id5010)) continue;
        std::string why = "guide " + guideId;
        std::string name;
        switch (guide.rule) {
            case GuideRule::Single:
                name = guide.first;
                break;
            case GuideRule::BySt01:
                if (scan.foundSt && (scan.st01 == guide.first || scan.st01 == guide.second))
                    name = scan.st01 + ".cfg";
                why += ", ST01 " + scan.st01;
                break;
            case GuideRule::ByBht02:
                if (scan.foundBht) name = scan.bht02 == "11" ? guide.second : guide.first;
                why += ", BHT02 " + scan.bht02;
                break;
        }
        if (reason) *reason = why;
        return name;
    }
    // No usable guide: the transaction set alone decides where it has one map.
    std::string name = scan.foundSt ? mapForSet(scan.st01) : "";
    if (reason) *reason = "ST01 " + scan.st01;
    return name;
}

std::string acknowledgmentMapName(const InterchangeScan& scan) {
    if (!scan.foundSt) return "";
    if (scan.st01 == "997" || scan.st01 == "999") return scan.st01 + ".cfg";
    if (scan.st01 == "277" && scan.foundBht && scan.bht06 == "TH") return "277CA.cfg";
    return "";
}

std::string mapNameForScan(const InterchangeScan& scan, std::string* fallbackReason) {
    std::string name = acknowledgmentMapName(scan);
    if (!name.empty()) return name;
    name = mapForVersion(scan.version);
    if (!name.empty()) return name;
    std::string reason;
    name = guideMapName(scan, &reason);
    if (fallbackReason && !name.empty()) *fallbackReason = reason;
    return name;
}

std::string detectMapName(const std::string& source, const std::string& debugSetting,
                          RunContext& ctx, InterchangeScan* scanOut, const SourceHead* head) {
    InterchangeScan scan = scanInterchange(source, debugSetting, ctx, head);
    std::string name = acknowledgmentMapName(scan);
    if (!name.empty()) {
        if (!isBlank(debugSetting))
            scan.trace += " Acknowledgment Map = " + name + " (ST01 " + scan.st01 + ")" + kCrLf;
    } else {
        std::string reason;
        name = mapNameForScan(scan, &reason);
        if (!reason.empty() && !isBlank(debugSetting))
            scan.trace += " Fallback Map = " + name + " (" + reason + ")" + kCrLf;
    }
    if (!isBlank(debugSetting) && ctx.sideLogFiles) writeLogFile(kTraceFile, scan.trace);
    if (scanOut) *scanOut = std::move(scan);
    return name;
}

}  // namespace brolvin
