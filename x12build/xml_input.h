// XML documents as input for X12 generation: one CLAIM element per record,
// an optional BATCH block of envelope values, LINELEVEL blocks of service
// lines.
#pragma once

#include <array>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "util/input_limits.h"
#include "x12build/byte_scan.h"
#include "x12build/envelope.h"
#include "x12build/generation_run.h"

namespace brolvin {

// Tag names of an XML source as each tag ends, read block by block from a
// start offset on (CR and LF dropped from names). The text outside tags is
// handed on as well, so a reader can take the text that follows a tag.
class XmlTagScanner {
public:
    // `readerStart`: begin behind the first tag's "<" (and a byte-order mark),
    // as the record and header readers do; otherwise at the first byte.
    explicit XmlTagScanner(bool readerStart) : readerStart_(readerStart) {}

    // onOpen() at each "<" that starts a tag, onTag(name) at its ">" (a view
    // valid during the call), onText(text) for the bytes outside tags.
    template <class OnOpen, class OnTag, class OnText>
    void feed(std::string_view block, OnOpen&& onOpen, OnTag&& onTag, OnText&& onText);

    // Both scanners past their start, at the same place in the same tag: fed
    // the same bytes from here on, they report the same tags.
    bool inTag() const { return inTag_; }
    bool sameStateAs(const XmlTagScanner& other) const {
        return started_ && other.started_ && inTag_ == other.inTag_ &&
               (!inTag_ || name_ == other.name_);
    }
    // A tag grew beyond kMaxXmlTagBytes; nothing more is reported.
    bool overlong() const { return overlong_; }

private:
    bool readerStart_;
    bool started_ = false;
    bool inTag_ = false;
    bool overlong_ = false;
    std::string name_;
};

// Everything the XML mode needs before its record pass, in one pass: the
// record count (opening tags named exactly "CLAIM"), whether a BATCH block
// exists, the envelope values and the line-block count. Gives what
// xmlHeaderValue(…, 0), xmlHeaderValues and xmlLineBlockCount give for the
// whole source.
class XmlPrescan {
public:
    void feed(std::string_view block);
    void finish();

    long long recordCount() const { return records_; }
    bool batchPresent() const { return batch_; }
    long long lineBlockCount() const { return largest_; }
    EnvelopeValues headerValues() const;
    // The text after the first tag bearing one of the selector's names, as
    // read (decoded, not trimmed or cut); "" when no tag carries it.
    std::string rawHeaderValue(int selector) const;
    // Whether something in the source went beyond its size limit; the
    // prescan stops there.
    bool refused() const { return refusedLimit_ > 0; }
    // What went beyond its limit, for the source named `source`.
    std::string refusal(const std::string& source) const;

private:
    void tagEnded(std::string_view name);
    void headerTag(std::string_view name);
    void lineBlockTag(std::string_view name);
    // Reads the block looking only at tags whose first bytes could make
    // them count (inside a line block, at every tag); returns where the full
    // reader has to go on (the block's size when the block is done). Only
    // while in step, outside a tag, and not taking a header value.
    size_t feedQuickly(std::string_view block);
    // Reads the block tag by tag.
    void readFully(std::string_view block);

    XmlTagScanner counter_{false};
    XmlTagScanner reader_{true};
    bool inStep_ = false;  // the counter would see what the reader sees: one scan serves both
    long long records_ = 0;
    bool batch_ = false;
    std::array<std::optional<std::string>, 19> found_;
    int capturing_ = -1;  // selector whose text is being taken, or -1
    std::string capture_;
    long long largest_ = 0;
    long long count_ = 0;
    bool inBlock_ = false;
    bool stemKnown_ = false;
    std::string stem_;
    std::string name_;  // a tag name without its line ends
    const char* refusedWhat_ = "";
    size_t refusedLimit_ = 0;
    // Appends to the header value being taken; false (and refused) beyond its limit.
    bool capture(std::string_view text);
    // Keeps the header value taken.
    void keepCapture();
    size_t heldHeaderBytes_ = 0;
};

// The record pass of the XML mode, fed block by block from the second byte
// on: each field element's text goes to the field of that name, each
// "</CLAIM>" completes a record. A non-blank element named after a later
// service line's field ('CHARGE2') that the map does not have is read into
// that field's line-1 form ('CHARGE1'): the program's own service-line XML
// ("ML", one CLAIM per line) keeps every line's data. A CLAIM that holds data
// of two lines the map cannot both take stops the reading
// (GenerationRun::stopReason).
class XmlRecordReader {
public:
    explicit XmlRecordReader(GenerationRun& run) : run_(run) {}
    void feed(std::string_view block);
    // End of the source (nothing is pending: a record ends at its "</CLAIM>").
    void finish() {}

private:
    enum class Place { Outside, TagName, Text, ClosingTag };
    void tagEnded(std::string_view name, bool inBlock);
    void elementEnded();
    // Rare or once per record: kept out of the per-tag path.
    [[gnu::noinline]] void selfClosingTag(std::string_view name, bool inBlock);
    [[gnu::noinline]] void recordEnded();
    // The line-1 field and line number of an element named after a later
    // line of a service-line field; position -1 when it names none.
    std::pair<long, long long> laterLineField(std::string_view name);
    // Notes non-blank service-line data of line `line` in this CLAIM; stops
    // the reading when the CLAIM already holds another line's.
    [[gnu::noinline]] void noteLine(long long line, bool mapped);
    // Copies what still points into the block that ends into the reader's own strings.
    void keepPastBlock(std::string_view block);

    void readBlock(std::string_view block);
    // Refuses the run when the tag name or text being collected has grown
    // beyond its limit; false then.
    bool withinLimits();

    GenerationRun& run_;
    bool started_ = false;
    long long claimNumber_ = 1;  // the CLAIM being read
    long long recordLine_ = 0;   // the later line whose data it holds, 0 = none
    bool lineOneData_ = false;   // it holds data of a line-1 field by that field's name
    // Line-1 fields by the upper-cased stem of their name (the name without
    // its last character), as the service-line expansion names later lines.
    std::optional<std::unordered_map<std::string, long>> stems_;
    Place place_ = Place::Outside;
    std::string name_;     // a tag name read over a block end or line ends
    std::string element_;
    std::string text_;
    // The element's name and text: views into the block being read, or
    // into element_ and text_.
    std::string_view elementName_;
    std::string_view elementText_;
    // Field positions of the element names in the order the previous record
    // gave them: records repeat their element order, so a name is usually
    // found by one comparison instead of a look-up in the field index.
    struct RecentName {
        std::string name;
        long position = -1;
        // A name of no field: the line-1 field of the later line it names
        // (-1 none). A field's name: -4 a line-1 field, -3 another. -2: not
        // worked out yet.
        long lineOnePosition = -2;
        long long line = 0;  // the later line a name of no field names
    };
    std::vector<RecentName> recent_;
    size_t recentAt_ = 0;
    RecentName* lastFound_ = nullptr;
    long fieldOf(std::string_view name);
};

// One header value of the XML source for an envelope selector; selector 0
// gives "X" when a BATCH tag exists. "" when no tag carries it.
std::string CTL48400AK(const std::string& sourceFile, int selector);
std::string xmlHeaderValue(std::string_view data, int selector);

// CTL48400AL: the XML text from a position up to the next tag.
// The text from `position` up to the next "<" or the end of the data.
std::string xmlTextAt(std::string_view data, size_t position);

// The largest number of service lines in one LINELEVEL block; 0 without
// blocks.
long long CTLD48400AG(const std::string& sourceFile);
long long xmlLineBlockCount(std::string_view data);

// The envelope values of a BATCH block, in one pass, cut and padded to the
// widths of the fixed-width ISA elements.
EnvelopeValues xmlHeaderValues(std::string_view data);

// Decodes the predefined entities and numeric character references; an "&"
// that starts no such reference is kept as it is.
std::string decodeXmlText(std::string_view text);

// Appends `text` without its carriage returns and line feeds.
inline void appendWithoutLineEnds(std::string& out, std::string_view text) {
    const char* p = text.data();
    const char* end = p + text.size();
    while (p < end) {
        const char* q = p;
        while (q < end && *q != '\r' && *q != '\n') ++q;
        out.append(p, static_cast<size_t>(q - p));
        p = q + 1;
    }
}

// Where the readers that pass over the first tag begin in a source whose
// first block is `first`.
size_t xmlReaderStart(std::string_view first);

template <class OnOpen, class OnTag, class OnText>
void XmlTagScanner::feed(std::string_view block, OnOpen&& onOpen, OnTag&& onTag, OnText&& onText) {
    if (overlong_) return;
    size_t i = 0;
    if (!started_) {
        started_ = true;
        if (readerStart_) i = xmlReaderStart(block);
    }
    const char* p = block.data();
    const size_t n = block.size();
    ByteSetScanner scan(block, '<', '>');
    while (i < n) {
        if (!inTag_) {
            // A ">" outside a tag is text.
            size_t lt = scan.next(i);
            while (lt < n && p[lt] != '<') lt = scan.next(lt + 1);
            if (lt > i) onText(block.substr(i, lt - i));
            if (lt == n) return;
            inTag_ = true;
            name_.clear();
            onOpen();
            i = lt + 1;
            continue;
        }
        // A "<" inside a tag belongs to its name.
        size_t gt = scan.next(i);
        while (gt < n && p[gt] != '>') gt = scan.next(gt + 1);
        if (gt == n) {
            appendWithoutLineEnds(name_, block.substr(i));
            if (name_.size() > kMaxXmlTagBytes) {
                overlong_ = true;
                std::string().swap(name_);
            }
            return;
        }
        inTag_ = false;
        if (name_.empty() && !hasLineEnd(p + i, gt - i, p + n)) {
            onTag(block.substr(i, gt - i));  // the whole name lies in this block
        } else {
            appendWithoutLineEnds(name_, block.substr(i, gt - i));
            onTag(std::string_view(name_));
        }
        i = gt + 1;
    }
}

}  // namespace brolvin
