#include "x12build/xml_input.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <optional>

#include "util/file_blocks.h"
#include "util/file_io.h"
#include "util/text.h"

namespace brolvin {

namespace {

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

// Feeds the file block by block to `prescan`; false when it cannot be read.
bool prescanFile(const std::string& file, XmlPrescan& prescan) {
    if (!fileExists(file)) return false;
    BlockReadError error;
    bool ok = readFileBlocks(
        file,
        [&](std::string_view block) {
            prescan.feed(block);
            return true;
        },
        error);
    prescan.finish();
    return ok;
}

struct HeaderTag {
    int selector;
    std::string_view name;
    std::string_view alias;
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

// Equal to an upper-case name, ignoring the letter case of `name`.
bool equalsUpper(std::string_view name, std::string_view upper) {
    if (name.size() != upper.size()) return false;
    for (size_t i = 0; i < name.size(); ++i) {
        char c = name[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != upper[i]) return false;
    }
    return true;
}

// For each upper-case first letter, a bit per name length that some header
// tag name or alias has: most tag names are passed over on this alone.
struct HeaderNameFilter {
    std::array<std::uint64_t, 256> lengths{};
    HeaderNameFilter() {
        for (const HeaderTag& t : kHeaderTags)
            for (std::string_view n : {t.name, t.alias})
                lengths[static_cast<unsigned char>(n[0])] |= std::uint64_t{1} << n.size();
    }
    bool mayMatch(std::string_view name) const {
        if (name.size() >= 64) return false;
        char c = name[0];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        return ((lengths[static_cast<unsigned char>(c)] >> name.size()) & 1U) != 0;
    }
};

// headerTagFor for a name in any letter case.
const HeaderTag* headerTagNamed(std::string_view name) {
    if (name.empty() || name[0] == '/') return nullptr;  // closing tags carry no header value
    static const HeaderNameFilter filter;
    if (!filter.mayMatch(name)) return nullptr;
    for (const HeaderTag& t : kHeaderTags)
        if (equalsUpper(name, t.name) || equalsUpper(name, t.alias)) return &t;
    return nullptr;
}

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

// Readers start at the second byte, passing over the first tag's "<"; a UTF-8
// byte-order mark in front of it is passed over as well.
size_t xmlReaderStart(std::string_view first) {
    return beginsWith(first, "\xEF\xBB\xBF") ? 4 : 1;
}

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

std::string xmlTextAt(std::string_view data, size_t position) {
    if (position >= data.size()) return "";
    size_t end = data.find('<', position);
    if (end == std::string_view::npos) end = data.size();
    return std::string(data.substr(position, end - position));
}

std::string xmlHeaderValue(std::string_view data, int selector) {
    std::string result;
    if (selector == kSelBatchPresent) {
        scanTags(data, xmlReaderStart(data), [&](const std::string& name, size_t) {
            if (toUpper(name) != "BATCH") return true;
            result.assign(1, 'X');
            return false;
        });
        return result;
    }
    const HeaderTag* wanted = headerTagOf(selector);
    if (wanted == nullptr) return "";
    scanTags(data, xmlReaderStart(data), [&](const std::string& name, size_t after) {
        if (headerTagFor(toUpper(name)) != wanted) return true;
        result = decodeXmlText(xmlTextAt(data, after));
        return false;
    });
    return result;
}

std::string CTL48400AK(const std::string& sourceFile, int selector) {
    XmlPrescan prescan;
    if (!prescanFile(sourceFile, prescan)) return "";
    if (selector == kSelBatchPresent) return prescan.batchPresent() ? "X" : "";
    return prescan.rawHeaderValue(selector);
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
    XmlPrescan prescan;
    prescan.feed(data);
    prescan.finish();
    return prescan.headerValues();
}

namespace {

// A tag name's first eight bytes, letters folded to lower case, read as one
// number; the bytes from a ">" on count as 0, so a name shorter than eight
// bytes is told from the start of a longer one.
std::uint64_t nameKey(std::string_view name) {
    char bytes[8] = {};
    for (size_t i = 0; i < name.size() && i < 8; ++i) bytes[i] = static_cast<char>(name[i] | 0x20);
    std::uint64_t key;
    std::memcpy(&key, bytes, 8);
    return key;
}

// The keys of every name the prescan acts on outside a line block.
class QuickTagFilter {
public:
    QuickTagFilter() {
        add("CLAIM");
        add("BATCH");
        add("LINELEVEL");
        for (const HeaderTag& t : kHeaderTags) {
            add(t.name);
            add(t.alias);
        }
    }
    // Whether a tag whose name starts at `name` (8 bytes readable) may be
    // one of them. Names broken by a line end always may.
    bool mayMatter(const char* name) const {
        std::uint64_t v;
        std::memcpy(&v, name, 8);
        const std::uint64_t gt = zeroBytes(v ^ kEach * '>');
        const std::uint64_t lineEnd = zeroBytes(v ^ kEach * '\r') | zeroBytes(v ^ kEach * '\n');
        // The lowest flagged byte of each is exact.
        const int length = gt ? lowestSetBit(gt) / 8 : 8;
        if (lineEnd && lowestSetBit(lineEnd) / 8 < length) return true;
        if (length == 0) return false;  // an empty name counts for nothing
        std::uint64_t key = v | kEach * 0x20;
        if (length < 8) key &= (std::uint64_t{1} << (8 * length)) - 1;
        for (size_t at = slot(key);; at = (at + 1) % kSlots) {
            if (keys_[at] == key) return true;
            if (keys_[at] == 0) return false;
        }
    }

private:
    static constexpr std::uint64_t kEach = 0x0101010101010101ULL;
    static constexpr size_t kSlots = 256;
    static std::uint64_t zeroBytes(std::uint64_t v) {
        return (v - kEach) & ~v & (kEach * 0x80);
    }
    static size_t slot(std::uint64_t key) { return (key * 0x9E3779B97F4A7C15ULL) >> 56; }
    void add(std::string_view name) {
        const std::uint64_t key = nameKey(name);
        size_t at = slot(key);
        while (keys_[at] != 0 && keys_[at] != key) at = (at + 1) % kSlots;
        keys_[at] = key;
    }
    std::uint64_t keys_[kSlots] = {};
};

}  // namespace

void XmlPrescan::tagEnded(std::string_view name) {
    // Outside a line block a closing tag tells nothing: it is neither
    // counted nor a header tag, and "/LINELEVEL" there changes no count.
    if (!inBlock_ && !name.empty() && name[0] == '/') return;
    if (inStep_ && name == std::string_view("CLAIM")) ++records_;
    headerTag(name);
    lineBlockTag(name);
}

size_t XmlPrescan::feedQuickly(std::string_view block) {
    static const QuickTagFilter filter;
    const char* p = block.data();
    const size_t n = block.size();
    size_t done = 0;  // everything before is read; the place there is outside a tag
    OpeningTagFinder scan(block);
    for (;;) {
        size_t at;
        if (inBlock_) {
            // Inside a line block every tag counts: they are read one by one.
            const void* lt = std::memchr(p + done, '<', n - done);
            if (lt == nullptr) return done;
            at = static_cast<size_t>(static_cast<const char*>(lt) - p);
        } else {
            for (at = scan.next(done);; at = scan.next(at + 1)) {
                if (at + 9 > n) {
                    // The full reader takes the rest from behind the last ">"
                    // (a place outside any tag), so a tag running over the
                    // block end is read whole.
                    size_t from = at < n ? at : n;
                    while (from > done && p[from - 1] != '>') --from;
                    return from;
                }
                // Closing tags (never found) and names that cannot count are
                // passed over without looking for their end.
                if (!filter.mayMatter(p + at + 1)) continue;
                // The "<" begins a tag unless the nearest "<" or ">" before it is a "<".
                size_t back = at;
                while (back > done && p[back - 1] != '<' && p[back - 1] != '>') --back;
                if (back > done && p[back - 1] == '<') continue;
                break;
            }
        }
        const void* gt = std::memchr(p + at + 1, '>', n - at - 1);
        if (gt == nullptr) return at;
        const size_t end = static_cast<size_t>(static_cast<const char*>(gt) - p);
        std::string_view name = block.substr(at + 1, end - at - 1);
        if (hasLineEnd(name.data(), name.size(), p + n)) {
            name_.clear();
            appendWithoutLineEnds(name_, name);
            name = name_;
        }
        tagEnded(name);
        done = end + 1;
        if (capturing_ >= 0) {
            // The header value is the text up to the next "<".
            const void* lt = std::memchr(p + done, '<', n - done);
            if (lt == nullptr) return done;
            if (!capture({p + done, static_cast<size_t>(static_cast<const char*>(lt) - (p + done))})) return n;
            keepCapture();
        }
    }
}

void XmlPrescan::feed(std::string_view block) {
    if (refused()) return;
    while (inStep_ && !block.empty()) {
        if (reader_.inTag()) {
            // The full reader ends the tag that runs over from the last block.
            const void* gt = std::memchr(block.data(), '>', block.size());
            if (gt == nullptr) break;
            const size_t end = static_cast<size_t>(static_cast<const char*>(gt) - block.data()) + 1;
            readFully(block.substr(0, end));
            block.remove_prefix(end);
            continue;
        }
        if (capturing_ >= 0) {
            const void* lt = std::memchr(block.data(), '<', block.size());
            if (lt == nullptr) break;
            const size_t end = static_cast<size_t>(static_cast<const char*>(lt) - block.data());
            if (!capture(block.substr(0, end))) return;
            keepCapture();
            block.remove_prefix(end);
            continue;
        }
        block.remove_prefix(feedQuickly(block));
        break;
    }
    if (!block.empty()) readFully(block);
}

void XmlPrescan::readFully(std::string_view block) {
    if (!inStep_)
        counter_.feed(
            block, [] {},
            [&](std::string_view name) {
                if (name == std::string_view("CLAIM")) ++records_;
            },
            [](std::string_view) {});
    reader_.feed(
        block,
        [&] {
            // The text taken after a header tag ends at the next "<".
            if (capturing_ >= 0) {
                keepCapture();
            }
        },
        [&](std::string_view name) { tagEnded(name); },
        [&](std::string_view text) {
            if (capturing_ >= 0) capture(text);
        });
    if (!refused() && (counter_.overlong() || reader_.overlong())) {
        refusedWhat_ = "a tag";
        refusedLimit_ = kMaxXmlTagBytes;
    }
    if (!inStep_ && reader_.sameStateAs(counter_)) inStep_ = true;
}

void XmlPrescan::finish() {
    if (capturing_ >= 0) {
        keepCapture();
    }
}

void XmlPrescan::headerTag(std::string_view name) {
    if (!batch_ && equalsUpper(name, "BATCH")) batch_ = true;
    const HeaderTag* tag = headerTagNamed(name);
    if (tag != nullptr && !found_[static_cast<size_t>(tag->selector)] && capturing_ < 0) {
        capturing_ = tag->selector;
        capture_.clear();
    }
}

std::string XmlPrescan::rawHeaderValue(int selector) const {
    if (selector < 0 || static_cast<size_t>(selector) >= found_.size()) return "";
    return found_[static_cast<size_t>(selector)].value_or("");
}

EnvelopeValues XmlPrescan::headerValues() const {
    auto value = [&](int selector) {
        const HeaderTag* tag = headerTagOf(selector);
        std::string v = envelopeText(rawHeaderValue(selector));
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

void XmlPrescan::lineBlockTag(std::string_view name) {
    if (!inBlock_) {
        if (name == std::string_view("LINELEVEL")) {
            inBlock_ = true;
            stemKnown_ = false;
            count_ = 0;
        }
        return;
    }
    if (stemKnown_) {
        if (beginsWith(name, stem_)) ++count_;
    } else if (name != std::string_view("/LINELEVEL")) {
        stem_.assign(name.empty() ? name : name.substr(0, name.size() - 1));
        stemKnown_ = true;
        count_ = 1;
    }
    // Only the two block tags matter from here on; most names are passed
    // over by their length.
    if (name.size() != 9 && name.size() != 10) return;
    if (name == std::string_view("/LINELEVEL")) {
        if (count_ > largest_) largest_ = count_;
        inBlock_ = false;
        stemKnown_ = false;
        count_ = 0;
    } else if (name == std::string_view("LINELEVEL")) {
        inBlock_ = true;
        stemKnown_ = false;
        count_ = 0;
    }
}

long long xmlLineBlockCount(std::string_view data) {
    XmlPrescan prescan;
    prescan.feed(data);
    prescan.finish();
    return prescan.lineBlockCount();
}

long long CTLD48400AG(const std::string& sourceFile) {
    XmlPrescan prescan;
    if (!prescanFile(sourceFile, prescan)) return 0;
    return prescan.lineBlockCount();
}

namespace {

constexpr size_t kRecentLimit = 4096;
constexpr size_t kRecentNameLimit = 256;

bool isLineOneField(const FieldEntry& f) {
    return !isBlank(f.serviceLineNumber) && leadingNumber(f.serviceLineNumber) == 1;
}

}  // namespace

std::pair<long, long long> XmlRecordReader::laterLineField(std::string_view element) {
    if (!stems_) {
        stems_.emplace();
        const FieldTable& fields = run_.map.fields;
        for (size_t i = 0; i < fields.size(); ++i) {
            if (!isLineOneField(fields[i])) continue;
            std::string name = trimSpaces(fields[i].name);
            if (!name.empty()) stems_->emplace(toUpper(std::string_view(name).substr(0, name.size() - 1)), i);
        }
    }
    const std::string_view name = spacesTrimmedView(element);
    // The expansion names line L of a field by its stem and L in decimal:
    // every all-digit ending from 2 up may be the line number.
    long long line = 0, scale = 1;
    for (size_t digits = 1; digits <= 6 && digits < name.size(); ++digits) {
        const char c = name[name.size() - digits];
        if (c < '0' || c > '9') break;
        line += (c - '0') * scale;
        scale *= 10;
        if (c == '0' || line < 2) continue;
        auto found = stems_->find(toUpper(name.substr(0, name.size() - digits)));
        if (found != stems_->end()) return {found->second, line};
    }
    return {-1, 0};
}

void XmlRecordReader::noteLine(long long line, bool mapped) {
    const long long other = mapped ? (lineOneData_ ? 1 : recordLine_) : recordLine_;
    if (other != 0 && other != line && run_.stopReason.empty())
        run_.stopReason = "XML CLAIM " + std::to_string(claimNumber_) + " holds service lines " +
                          std::to_string(std::min(line, other)) + " and " + std::to_string(std::max(line, other)) +
                          ", which the map's fields cannot hold in one record (use LINELEVEL blocks with the "
                          "option ML, or one CLAIM per line)";
    if (mapped)
        recordLine_ = line;
    else
        lineOneData_ = true;
}

void XmlRecordReader::recordEnded() {
    recentAt_ = 0;
    if (run_.stopReason.empty() && !run_.refused()) run_.completeRecord();
    recordLine_ = 0;
    lineOneData_ = false;
    ++claimNumber_;
}

void XmlRecordReader::feed(std::string_view block) {
    if (!run_.stopReason.empty() || run_.refused()) return;
    readBlock(block);
    // A tag or text grows only across block ends, a block at a time: checked
    // here, outside the reading loop. The memory of a large text read before
    // is given back.
    if (withinLimits() && text_.empty() && text_.capacity() > kLargeValueBytes) std::string().swap(text_);
}

void XmlRecordReader::readBlock(std::string_view block) {
    size_t i = 0;
    if (!started_) {
        started_ = true;
        i = xmlReaderStart(block);
    }
    const char* p = block.data();
    const size_t n = block.size();
    ByteSetScanner scan(block, '<', '>');
    // Line ends are dropped wherever they stand; only "<" and ">" move the
    // reader from one place to the next. Names and texts that lie whole in
    // the block, without line ends, are read in place.
    while (i < n) {
        size_t at = scan.next(i);
        switch (place_) {
            case Place::Outside: {
                while (at < n && p[at] != '<') at = scan.next(at + 1);
                if (at == n) return;
                i = at + 1;
                // The usual element, '<NAME>text</NAME>' within the block and
                // without line ends, is read in one go; the places are the same
                // as one by one.
                const size_t gt = scan.next(i);
                if (gt < n && p[gt] == '>' && !hasLineEnd(p + i, gt - i, p + n)) {
                    const std::string_view name = block.substr(i, gt - i);
                    i = gt + 1;
                    tagEnded(name, true);
                    if (place_ != Place::Text) break;
                    const size_t lt = scan.next(i);
                    if (lt == n || p[lt] != '<' || hasLineEnd(p + i, lt - i, p + n)) break;
                    elementText_ = block.substr(i, lt - i);
                    place_ = Place::ClosingTag;
                    i = lt + 1;
                    const size_t close = scan.next(i);
                    if (close == n || p[close] != '>') break;
                    i = close + 1;
                    elementEnded();
                    break;
                }
                place_ = Place::TagName;
                name_.clear();
                break;
            }
            case Place::TagName:
                // A "<" belongs to the name.
                while (at < n && p[at] != '>') at = scan.next(at + 1);
                if (at == n) {
                    appendWithoutLineEnds(name_, block.substr(i));
                    return;
                }
                if (name_.empty() && !hasLineEnd(p + i, at - i, p + n)) {
                    const std::string_view name = block.substr(i, at - i);
                    i = at + 1;
                    tagEnded(name, true);
                } else {
                    appendWithoutLineEnds(name_, block.substr(i, at - i));
                    i = at + 1;
                    tagEnded(name_, false);
                }
                break;
            case Place::Text:
                // A ">" belongs to the text.
                while (at < n && p[at] != '<') at = scan.next(at + 1);
                if (at == n) {
                    appendWithoutLineEnds(text_, block.substr(i));
                    keepPastBlock(block);
                    return;
                }
                if (text_.empty() && !hasLineEnd(p + i, at - i, p + n)) {
                    elementText_ = block.substr(i, at - i);
                } else {
                    appendWithoutLineEnds(text_, block.substr(i, at - i));
                    elementText_ = text_;
                }
                place_ = Place::ClosingTag;
                i = at + 1;
                break;
            case Place::ClosingTag:
                while (at < n && p[at] != '>') at = scan.next(at + 1);
                if (at == n) {
                    keepPastBlock(block);
                    return;
                }
                i = at + 1;
                elementEnded();
                break;
        }
    }
    keepPastBlock(block);
}

void XmlRecordReader::keepPastBlock(std::string_view block) {
    if (place_ != Place::Text && place_ != Place::ClosingTag) return;
    auto inBlock = [&](std::string_view v) {
        return !v.empty() && v.data() >= block.data() && v.data() < block.data() + block.size();
    };
    if (inBlock(elementName_)) {
        element_.assign(elementName_);
        elementName_ = element_;
    }
    if (place_ == Place::ClosingTag && inBlock(elementText_)) {
        text_.assign(elementText_);
        elementText_ = text_;
    }
}

void XmlRecordReader::tagEnded(std::string_view name, bool inBlock) {
    place_ = Place::Outside;
    switch (name.size()) {  // the containers
        case 5:
            if (name == "CLAIM") return;
            break;
        case 9:
            if (name == "LINELEVEL") return;
            break;
        case 10:
            if (name == "EXPORTDATA") return;
            break;
    }
    if (!name.empty() && name[0] == '/') {
        if (name == "/CLAIM") {
            recordEnded();
            text_.clear();
        }
        return;
    }
    if (!name.empty() && (name.back() == '/' || name[0] == '?' || name[0] == '!')) {
        selfClosingTag(name, inBlock);
        return;
    }
    if (inBlock) {
        elementName_ = name;
    } else {
        element_.assign(name);
        elementName_ = element_;
    }
    text_.clear();
    elementText_ = {};
    place_ = Place::Text;
}

// '<NAME/>' (as most XML libraries write an empty element) is the element
// with empty text; a container written so holds nothing. Declarations and
// comments ('<?...?>', '<!...>') carry no value.
void XmlRecordReader::selfClosingTag(std::string_view name, bool inBlock) {
    if (name[0] == '?' || name[0] == '!') return;
    name.remove_suffix(1);
    name = name.substr(0, name.find_first_of(" \t\r\n"));  // attributes are no part of the name
    if (name.empty() || name == "CLAIM" || name == "LINELEVEL" || name == "EXPORTDATA") return;
    if (inBlock) {
        elementName_ = name;
    } else {
        element_.assign(name);
        elementName_ = element_;
    }
    text_.clear();
    elementText_ = {};
    elementEnded();
}

void XmlRecordReader::elementEnded() {
    std::string_view value = elementText_;
    std::string decoded;
    bool reference = false;
    for (char c : value) reference |= c == '&';
    if (reference) {
        decoded = decodeXmlText(value);
        value = decoded;
    }
    long pos = fieldOf(elementName_);
    if (pos < 0) {
        // An element of a later line that the map has no field for.
        if (!isBlank(value)) {
            std::pair<long, long long> later;
            if (lastFound_ == nullptr) {
                later = laterLineField(elementName_);
            } else {
                if (lastFound_->lineOnePosition == -2) {
                    later = laterLineField(lastFound_->name);
                    lastFound_->lineOnePosition = later.first;
                    lastFound_->line = later.second;
                }
                later = {lastFound_->lineOnePosition, lastFound_->line};
            }
            if (later.first >= 0) {
                pos = later.first;
                noteLine(later.second, true);
            }
        }
    } else {
        // Data of a line-1 field by its own name. Whether the field is one is
        // kept with the name: -4 it is, -3 it is not.
        bool lineOne;
        if (lastFound_ != nullptr && lastFound_->lineOnePosition <= -3) {
            lineOne = lastFound_->lineOnePosition == -4;
        } else {
            lineOne = isLineOneField(run_.map.fields[static_cast<size_t>(pos)]);
            if (lastFound_ != nullptr) lastFound_->lineOnePosition = lineOne ? -4 : -3;
        }
        if (lineOne && !isBlank(value)) noteLine(1, false);
    }
    if (run_.debugRoom(elementName_.size() + value.size() + 20)) {
        std::string entry;
        entry.append("TAG=").append(elementName_).append(kCrLf);
        entry.append("TAGDATA=").append(value).append(kCrLf);
        if (pos >= 0) entry += std::string("ADDED") + kCrLf;
        run_.debug.entry(entry);
    }
    if (pos >= 0) {
        run_.map.fields[static_cast<size_t>(pos)].value.assign(value);
        run_.noteValueStored(value.size());
    }
    text_.clear();
    element_.clear();
    elementName_ = {};
    elementText_ = {};
    place_ = Place::Outside;
}

namespace {

// Equality of two short texts without a library call for each.
bool sameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    size_t i = 0;
    for (; i + 8 <= a.size(); i += 8) {
        std::uint64_t x, y;
        std::memcpy(&x, a.data() + i, 8);
        std::memcpy(&y, b.data() + i, 8);
        if (x != y) return false;
    }
    for (; i < a.size(); ++i)
        if (a[i] != b[i]) return false;
    return true;
}

}  // namespace

long XmlRecordReader::fieldOf(std::string_view name) {
    lastFound_ = nullptr;
    if (recentAt_ < recent_.size() && sameText(recent_[recentAt_].name, name)) {
        lastFound_ = &recent_[recentAt_++];
        return lastFound_->position;
    }
    long pos = run_.index.find(name);
    if (name.size() > kRecentNameLimit) return pos;  // not kept: the names held stay small
    if (recentAt_ < recent_.size())
        recent_[recentAt_] = {std::string(name), pos, -2};
    else if (recent_.size() < kRecentLimit)
        recent_.push_back({std::string(name), pos, -2});
    else
        return pos;
    lastFound_ = &recent_[recentAt_++];
    return pos;
}

}  // namespace brolvin
