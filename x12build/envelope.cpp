#include "x12build/envelope.h"

#include <array>
#include <cstdio>
#include <optional>

#include "util/file_io.h"
#include "util/input_limits.h"
#include "util/text.h"
#include "x12build/value_cleaning.h"

namespace brolvin {

namespace {

constexpr int kSelectorSlots = 19;

// The key a selector is read from in the map file; nullptr when it has none.
const char* keyOf(int selector) {
    switch (selector) {
        case kSelIsa05: return "ISA05=";
        case kSelIsa06: return "ISA06=";
        case kSelIsa07: return "ISA07=";
        case kSelIsa08: return "ISA08=";
        case kSelIsa11: return "ISA11=";
        case kSelIsa13: return "ISA13=";
        case kSelIsa15: return "ISA15=";
        case kSelGs01: return "GS1=";
        case kSelGs02: return "GS2=";
        case kSelGs03: return "GS3=";
        case kSelGs06: return "GS6=";
        case kSelSt02: return "ST2=";
        case kSelSt03: return "ST3=";
        case kSelGs08: return "GS8=";
        default: return nullptr;
    }
}

std::string padTo(std::string value, size_t width) {
    if (value.size() < width) value.append(width - value.size(), ' ');
    return value;
}

// Cut to the width, then pad to it.
std::string fitTo(const std::string& value, size_t width) {
    return padTo(value.substr(0, width), width);
}

// A map value too long for its field is discarded in favour of the fallback.
std::string shapeKeyValue(int selector, const std::string& raw) {
    auto fitOr = [&](size_t width, const std::string& fallback) {
        return raw.size() <= width ? padTo(raw, width) : fallback;
    };
    switch (selector) {
        case kSelIsa05:
        case kSelIsa07: return fitOr(2, "ZZ");
        case kSelIsa06:
        case kSelIsa08: return fitOr(15, std::string(15, ' '));
        case kSelIsa11: return fitOr(1, "U");
        case kSelIsa13: return fitOr(9, std::string(9, ' '));
        default: return raw;
    }
}

using KeyValues = std::array<std::optional<std::string>, kSelectorSlots>;

// The first value of every key in the map text. Only ended lines are
// examined (a last line without a line end is not). A key counts only at the
// first column, in upper case.
KeyValues collectKeys(const std::string& text) {
    KeyValues found;
    forEachLine(text, [&](std::string_view line) {
        for (int sel = 0; sel < kSelectorSlots; ++sel) {
            const char* key = keyOf(sel);
            if (key == nullptr || found[sel]) continue;
            if (beginsWith(line, key)) found[sel] = std::string(line.substr(std::char_traits<char>::length(key)));
        }
    });
    return found;
}

std::string keyValue(const KeyValues& keys, int selector) {
    if (selector < 0 || selector >= kSelectorSlots || !keys[selector]) return "";
    return shapeKeyValue(selector, *keys[selector]);
}

std::string twoDigits(int n) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02d", ((n % 100) + 100) % 100);
    return buf;
}

std::string fourDigits(int n) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d", n);
    return buf;
}

std::string isaVersion(const std::string& version) {
    if (trimSpaces(version).size() < 3) return "00000";
    return "00" + version.substr(0, 3);
}

}  // namespace

std::string envelopeKeyFromText(const std::string& mapText, int selector) {
    if (keyOf(selector) == nullptr) return "";
    return keyValue(collectKeys(mapText), selector);
}

namespace {

// The map text for its envelope keys; "" for a missing file or one beyond
// the map size limit (the map loader refuses that one first).
std::string mapTextForKeys(const std::string& mapFile) {
    std::string text;
    long long size = fileSize(mapFile);
    if (size > 0 && size <= kMaxMapFileBytes) readWholeFile(mapFile, text, true);
    return text;
}

}  // namespace

std::string CTLD48400AH(const std::string& mapFile, int selector) {
    if (keyOf(selector) == nullptr) return "";
    return envelopeKeyFromText(mapTextForKeys(mapFile), selector);
}

EnvelopeHeader buildEnvelopeHeader(const std::string& transactionType, const std::string& version, int crLf,
                                   const std::string& componentSeparator,
                                   const std::string& elementSeparator,
                                   const std::string& segmentTerminator, const std::string& mapFile,
                                   const EnvelopeValues& given, RunContext& ctx) {
    KeyValues keys = collectKeys(mapTextForKeys(mapFile));
    // Every value is cleaned as record values are, so none can break the
    // envelope; a value that cleaning leaves blank counts as blank. ISA11
    // names the repetition separator itself in 5010 interchanges, so a "^"
    // there stays.
    const X12ValueCleaning cleaning(elementSeparator, segmentTerminator);
    auto clean = [&](const std::string& value, int selector) {
        if (selector == kSelIsa11 && value == std::string(1, kRepetitionSeparator)) return value;
        return cleaning.cleaned(value);
    };
    // Blank input -> map key -> default.
    auto resolve = [&](const std::string& value, int selector, const std::string& fallback) {
        std::string result = clean(value, selector);
        if (isBlank(result)) result = clean(keyValue(keys, selector), selector);
        if (isBlank(result)) result = fallback;
        return result;
    };

    EnvelopeValues v;
    v.isa03 = fitTo(resolve(given.isa03, kSelIsa03, "00"), 2);
    v.isa04 = fitTo(resolve(given.isa04, kSelIsa04, std::string(10, ' ')), 10);
    v.isa05 = fitTo(resolve(given.isa05, kSelIsa05, "ZZ"), 2);
    v.isa06 = fitTo(resolve(given.isa06, kSelIsa06, ""), 15);
    v.isa07 = fitTo(resolve(given.isa07, kSelIsa07, "ZZ"), 2);
    v.isa08 = fitTo(resolve(given.isa08, kSelIsa08, ""), 15);
    v.isa11 = fitTo(resolve(given.isa11, kSelIsa11, "U"), 1);
    v.isa12 = isaVersion(version);
    v.isa13 = fitTo(resolve(given.isa13, kSelIsa13, ""), 9);
    v.isa15 = fitTo(resolve(given.isa15, kSelIsa15, "T"), 1);
    v.gs01 = resolve(given.gs01, kSelGs01, "");
    v.gs02 = resolve(given.gs02, kSelGs02, "");
    v.gs03 = resolve(given.gs03, kSelGs03, "");
    v.gs06 = resolve(given.gs06, kSelGs06, "");
    v.gs08 = resolve(given.gs08, kSelGs08, "");
    v.st02 = resolve(given.st02, kSelSt02, "");
    v.st03 = resolve(given.st03, kSelSt03, "");
    v.isa12 = cleaning.cleaned(v.isa12);
    const std::string type = cleaning.cleaned(transactionType);

    const std::string& e = elementSeparator;
    const std::string end = segmentTerminator + (crLf == 1 ? kCrLf : "");

    DateTime t = ctx.platform.now();
    std::string isa = "ISA" + e + "00" + e + std::string(10, ' ') + e + v.isa03 + e + v.isa04 + e +
                      v.isa05 + e + v.isa06 + e + v.isa07 + e + v.isa08 + e +
                      twoDigits(t.year) + twoDigits(t.month) + twoDigits(t.day) + e +
                      twoDigits(t.hour) + twoDigits(t.minute) + e + v.isa11 + e + v.isa12 + e +
                      v.isa13 + e + "1" + e + v.isa15 + e + componentSeparator + end;

    t = ctx.platform.now();
    std::string gs = "GS" + e + v.gs01 + e + v.gs02 + e + v.gs03 + e + fourDigits(t.year) +
                     twoDigits(t.month) + twoDigits(t.day) + e + twoDigits(t.hour) +
                     twoDigits(t.minute) + e + v.gs06 + e + "X" + e + v.gs08 + end;
    std::string st = "ST" + e + type + e + v.st02 + e + v.st03 + end;

    return EnvelopeHeader{isa + gs + st, v};
}

std::string buildEnvelopeTrailer(int crLf, const std::string& /*componentSeparator*/,
                                 const std::string& elementSeparator, const std::string& segmentTerminator,
                                 long long segmentCount, const std::string& isa13, const std::string& gs06,
                                 const std::string& st02) {
    const std::string& e = elementSeparator;
    const std::string end = segmentTerminator + (crLf == 1 ? kCrLf : "");
    return "SE" + e + std::to_string(segmentCount + 2) + e + st02 + end + "GE" + e + "1" + e +
           gs06 + end + "IEA" + e + "1" + e + isa13 + end;
}

EnvelopeValues blankEnvelopeValues() {
    EnvelopeValues v;
    v.isa03 = "00";
    v.isa04 = std::string(10, ' ');
    v.isa05 = "ZZ";
    v.isa06 = std::string(15, ' ');
    v.isa07 = "ZZ";
    v.isa08 = std::string(15, ' ');
    v.isa11 = " ";
    v.isa12 = std::string(5, ' ');
    v.isa13 = std::string(9, ' ');
    v.isa15 = " ";
    return v;
}

}  // namespace brolvin
