#include "x12build/xml_input.h"

#include <array>
#include <optional>

#include "util/file_io.h"
#include "util/text.h"

namespace brolvin {

namespace {

// Readers start at the second byte, passing over the first tag's "<"; a UTF-8
// byte-order mark in front of it is passed over as well.
size_t readerStart(std::string_view data) {
    return beginsWith(data, "\xEF\xBB\xBF") ? 4 : 1;
}

// Calls `onTag(name, positionAfterTag)` at the end of every tag from `start`
// on; CR and LF are dropped from names. Stops early when `onTag` returns false.
template <typename OnTag>
void scanTags(std::string_view data, size_t start, OnTag onTag) {
    bool inTag = false;
    std::string name;
    for (size_t i = start; i < data.size(); ++i) {
        char c = data[i];
        if (!inTag) {
            if (c == '<') {
                inTag = true;
                name.clear();
            }
        } else if (c == '>') {
            inTag = false;
            if (!onTag(name, i + 1)) return;
        } else if (c != '\r' && c != '\n') {
            name.push_back(c);
        }
    }
}

bool readSource(const std::string& file, std::string& data) {
    return fileExists(file) && readWholeFile(file, data);
}

struct HeaderTag {
    int selector;
    const char* name;
    const char* alias;
    size_t width;  // 0 = used as read
};

constexpr std::array<HeaderTag, 17> kHeaderTags{{
    {kSelIsa06, "SENDERID", "ISA06", 15},
    {kSelIsa08, "RECEIVERID", "ISA08", 15},
    {kSelIsa13, "ICNUMBER", "ISA13", 9},
    {kSelIsa15, "PRODTEST", "ISA15", 1},
    {kSelGs01, "FUNCTIONID", "GS01", 0},
    {kSelGs02, "APPSENDERCODE", "GS02", 0},
    {kSelGs03, "APPRECEIVERCODE", "GS03", 0},
    {kSelGs06, "GROUPCTLNUM", "GS06", 0},
    {kSelSt02, "TRANSACTIONSETCTLNUM", "ST02", 0},
    {kSelSt03, "IMPLEMENTATIONREF", "ST03", 0},
    {kSelGs08, "VERSION", "GS08", 0},
    {kSelIsa03, "SECQUAL", "ISA03", 2},
    {kSelIsa04, "PASSWORD", "ISA04", 10},
    {kSelIsa05, "SENDICIDQUAL", "ISA05", 2},
    {kSelIsa07, "RECICIDQUAL", "ISA07", 2},
    {kSelIsa12Xml, "ICVERSION", "ISA12", 0},
    {kSelIsa11, "ICSTDID", "ISA11", 1},
}};

const HeaderTag* headerTagFor(std::string_view upperName) {
    for (const HeaderTag& t : kHeaderTags)
        if (upperName == t.name || upperName == t.alias) return &t;
    return nullptr;
}

const HeaderTag* headerTagOf(int selector) {
    for (const HeaderTag& t : kHeaderTags)
        if (t.selector == selector) return &t;
    return nullptr;
}

std::string fitTo(const std::string& value, size_t width) {
    std::string r = value.substr(0, width);
    r.append(width - r.size(), ' ');
    return r;
}

void appendCodePoint(std::string& out, unsigned long cp) {
    if (cp < 0x100) {
        out.push_back(static_cast<char>(cp));  // single byte: the documents are ISO-8859-1
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// The character a reference body ("amp", "#65", "#x41") stands for.
std::optional<unsigned long> referencedCodePoint(std::string_view body) {
    if (body == "amp") return '&';
    if (body == "lt") return '<';
    if (body == "gt") return '>';
    if (body == "quot") return '"';
    if (body == "apos") return '\'';
    if (body.size() < 2 || body[0] != '#') return std::nullopt;
    bool hex = body[1] == 'x' || body[1] == 'X';
    std::string_view digits = body.substr(hex ? 2 : 1);
    if (digits.empty() || digits.size() > 8) return std::nullopt;
    unsigned long cp = 0;
    for (char c : digits) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (hex && c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return std::nullopt;
        cp = cp * (hex ? 16 : 10) + static_cast<unsigned long>(d);
    }
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
    return cp;
}

}  // namespace

std::string decodeXmlText(std::string_view text) {
    if (text.find('&') == std::string_view::npos) return std::string(text);
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&') {
            size_t semi = text.find(';', i + 1);
            if (semi != std::string_view::npos && semi - i <= 12) {
                if (auto cp = referencedCodePoint(text.substr(i + 1, semi - i - 1))) {
                    appendCodePoint(out, *cp);
                    i = semi;
                    continue;
                }
            }
        }
        out.push_back(text[i]);
    }
    return out;
}

std::string CTL48400AL(std::string_view data, size_t position) {
    if (position >= data.size()) return "";
    size_t end = data.find('<', position);
    if (end == std::string_view::npos) end = data.size();
    return std::string(data.substr(position, end - position));
}

std::string xmlHeaderValue(std::string_view data, int selector) {
    std::string result;
    if (selector == kSelBatchPresent) {
        scanTags(data, readerStart(data), [&](const std::string& name, size_t) {
            if (toUpper(name) != "BATCH") return true;
            result.assign(1, 'X');
            return false;
        });
        return result;
    }
    const HeaderTag* wanted = headerTagOf(selector);
    if (wanted == nullptr) return "";
    scanTags(data, readerStart(data), [&](const std::string& name, size_t after) {
        if (headerTagFor(toUpper(name)) != wanted) return true;
        result = decodeXmlText(CTL48400AL(data, after));
        return false;
    });
    return result;
}

std::string CTL48400AK(const std::string& sourceFile, int selector) {
    std::string data;
    if (!readSource(sourceFile, data)) return "";
    return xmlHeaderValue(data, selector);
}

namespace {
// A header value written over several lines ('<SENDERID>' line end 'ABC'
// line end) would put line ends into the fixed-width ISA and break the
// interchange: line ends and the white space around the value are dropped.
std::string envelopeText(const std::string& raw) {
    std::string v;
    v.reserve(raw.size());
    for (char c : raw)
        if (c != '\r' && c != '\n') v += c;
    size_t b = v.find_first_not_of(" \t");
    if (b == std::string::npos) return "";
    size_t e = v.find_last_not_of(" \t");
    return v.substr(b, e - b + 1);
}
}  // namespace

EnvelopeValues xmlHeaderValues(std::string_view data) {
    std::array<std::optional<std::string>, 19> found;
    scanTags(data, readerStart(data), [&](const std::string& name, size_t after) {
        const HeaderTag* tag = headerTagFor(toUpper(name));
        if (tag != nullptr && !found[tag->selector])
            found[tag->selector] = decodeXmlText(CTL48400AL(data, after));
        return true;
    });
    auto value = [&](int selector) {
        const HeaderTag* tag = headerTagOf(selector);
        std::string v = envelopeText(found[selector].value_or(""));
        return tag->width > 0 ? fitTo(v, tag->width) : v;
    };
    EnvelopeValues v;
    v.isa03 = value(kSelIsa03);
    v.isa04 = value(kSelIsa04);
    v.isa05 = value(kSelIsa05);
    v.isa06 = value(kSelIsa06);
    v.isa07 = value(kSelIsa07);
    v.isa08 = value(kSelIsa08);
    v.isa11 = value(kSelIsa11);
    v.isa13 = value(kSelIsa13);
    v.isa15 = value(kSelIsa15);
    v.gs01 = value(kSelGs01);
    v.gs02 = value(kSelGs02);
    v.gs03 = value(kSelGs03);
    v.gs06 = value(kSelGs06);
    v.gs08 = value(kSelGs08);
    v.st02 = value(kSelSt02);
    v.st03 = value(kSelSt03);
    return v;
}

long long xmlLineBlockCount(std::string_view data) {
    long long largest = 0;
    long long count = 0;
    bool inBlock = false;
    bool stemKnown = false;
    std::string stem;
    scanTags(data, readerStart(data), [&](const std::string& name, size_t) {
        if (inBlock && stemKnown) {
            if (beginsWith(name, stem)) ++count;
        } else if (inBlock && name != "/LINELEVEL") {
            stem = name.empty() ? name : name.substr(0, name.size() - 1);
            stemKnown = true;
            count = 1;
        }
        if (name == "/LINELEVEL") {
            if (count > largest) largest = count;
            inBlock = false;
            stemKnown = false;
            count = 0;
        } else if (name == "LINELEVEL") {
            inBlock = true;
            stemKnown = false;
            count = 0;
        }
        return true;
    });
    return largest;
}

long long CTLD48400AG(const std::string& sourceFile) {
    std::string data;
    if (!readSource(sourceFile, data)) return 0;
    return xmlLineBlockCount(data);
}

long long countXmlRecords(std::string_view data, ProgressTicker& progress) {
    long long count = 0;
    bool inTag = false;
    std::string name;
    for (size_t i = 0; i < data.size(); ++i) {
        progress.at(static_cast<long long>(i) + 1);
        char c = data[i];
        if (!inTag) {
            if (c == '<') {
                inTag = true;
                name.clear();
            }
        } else if (c == '>') {
            inTag = false;
            if (name == "CLAIM") ++count;
        } else if (c != '\r' && c != '\n') {
            name.push_back(c);
        }
    }
    return count;
}

namespace {

// The line-1 field for an element named after another service line, or -1.
long lineOneField(const std::string& element, const GenerationRun& run) {
    std::string name = trimSpaces(element);
    size_t digits = name.size();
    while (digits > 0 && name[digits - 1] >= '0' && name[digits - 1] <= '9') --digits;
    if (digits == 0 || digits == name.size()) return -1;
    long pos = run.index.find(name.substr(0, digits) + "1");
    if (pos < 0 || isBlank(run.map.fields[static_cast<size_t>(pos)].serviceLineNumber)) return -1;
    return pos;
}

}  // namespace

void readXmlRecords(std::string_view data, GenerationRun& run, ProgressTicker& progress, bool perLineRecords) {
    enum class Place { Outside, TagName, Text, ClosingTag };
    Place place = Place::Outside;
    std::string name;
    std::string element;
    std::string text;
    for (size_t i = readerStart(data); i < data.size(); ++i) {
        progress.at(static_cast<long long>(i) + 1);
        char c = data[i];
        if (c == '\r' || c == '\n') continue;
        switch (place) {
            case Place::Outside:
                if (c == '<') {
                    place = Place::TagName;
                    name.clear();
                }
                break;
            case Place::TagName:
                if (c != '>') {
                    name.push_back(c);
                    break;
                }
                place = Place::Outside;
                if (name == "EXPORTDATA" || name == "CLAIM" || name == "LINELEVEL") break;
                if (!name.empty() && name[0] == '/') {
                    if (name == "/CLAIM") {
                        run.completeRecord();
                        text.clear();
                    }
                    break;
                }
                element = name;
                text.clear();
                place = Place::Text;
                break;
            case Place::Text:
                if (c == '<')
                    place = Place::ClosingTag;
                else
                    text.push_back(c);
                break;
            case Place::ClosingTag:
                if (c != '>') break;
                {
                    std::string value = decodeXmlText(text);
                    long pos = run.index.find(element);
                    if (pos < 0 && perLineRecords && !isBlank(value)) pos = lineOneField(element, run);
                    if (run.debugRoom()) {
                        std::string entry = "TAG=" + element + kCrLf + "TAGDATA=" + value + kCrLf;
                        if (pos >= 0) entry += std::string("ADDED") + kCrLf;
                        run.debugEntry(entry);
                    }
                    if (pos >= 0) run.map.fields[static_cast<size_t>(pos)].value = std::move(value);
                }
                text.clear();
                element.clear();
                place = Place::Outside;
                break;
        }
    }
}

}  // namespace brolvin
