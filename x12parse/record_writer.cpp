#include "x12parse/record_writer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>

#include "util/byte_words.h"
#include "util/csv_text.h"
#include "util/output_appender.h"
#include "util/output_file.h"
#include "util/text.h"
#include "x12parse/database_branch.h"

namespace brolvin {

namespace {

// A record text that could grow beyond this is written out in pieces of
// about this size while it is built.
constexpr size_t kSpillBytes = size_t{8} << 20;
// Values are escaped this much at a time while spilling.
constexpr size_t kEscapeChunk = size_t{1} << 20;
// Collected records are handed over once they reach this size or this many
// pieces (what one gathering write takes on common systems). Fewer, larger
// writes cost the system less per byte, but a write that can cover a whole
// aligned 2 MB of the file may be given a 2 MB page of the page cache, which
// a machine short of free contiguous memory can take a long time to find; so
// a batch of records of ordinary size stays below 2 MB.
constexpr size_t kGatherBytes = size_t{3} << 19;
constexpr size_t kGatherPieces = 1024;
// The room a CSV batch's text is given at its start (the text is the whole
// batch): a batch ends with the first record that takes it past kGatherBytes,
// so this holds it but for a record of over 192 KB, without the copies and
// the fresh memory of growing by doubling. An XML batch's text holds only
// Values and short fixed runs (the rest is written from the empty-record
// text), so it grows as it needs.
constexpr size_t kBatchTextBytes = kGatherBytes + kGatherBytes / 8;
// Runs of the empty-record text shorter than this are copied rather than
// handed over as a piece of their own.
constexpr size_t kFixedPieceBytes = 256;
// A Value escaped (XML) or quoted (CSV) takes at most this many times its size.
constexpr size_t kWorstGrowth = 5;
// Long runs of commas are stored this many at a time, so the room made for
// CSV text has this much to spare.
constexpr size_t kCommaStore = 64;
// The tags around each XML record line.
constexpr std::string_view kLineOpen = "<CLAIM>\r\n";
constexpr std::string_view kLineClose = "</CLAIM>\r\n";

// Set bits of a word, without relying on a processor instruction.
inline size_t popcount(uint64_t w) {
    w = w - ((w >> 1) & 0x5555555555555555ULL);
    w = (w & 0x3333333333333333ULL) + ((w >> 2) & 0x3333333333333333ULL);
    w = (w + (w >> 4)) & 0x0F0F0F0F0F0F0F0FULL;
    return static_cast<size_t>((w * 0x0101010101010101ULL) >> 56);
}

size_t countOf(const FieldBits& bits) {
    size_t n = 0;
    for (size_t w = 0; w < bits.wordCount(); ++w) n += popcount(bits.word(w));
    return n;
}

// The bytes element text cannot carry as they are: the three markup
// characters and the control bytes XML 1.0 forbids.
struct XmlSpecialBytes {
    bool special[256] = {};
    constexpr XmlSpecialBytes() {
        for (int c = 0; c < 0x20; ++c) special[c] = c != '\t' && c != '\n' && c != '\r';
        special[static_cast<unsigned char>('&')] = true;
        special[static_cast<unsigned char>('<')] = true;
        special[static_cast<unsigned char>('>')] = true;
    }
};
constexpr XmlSpecialBytes kXmlSpecial;

// Whether eight bytes hold one that element text may not carry as it is: a
// byte below 0x20, '&', '<' or '>' ('<' and '>' differ in one bit; each
// test is exact for the word as a whole). Tab, line feed and carriage
// return pass too and are sorted out byte by byte.
inline bool mayNeedEscape(uint64_t word) {
    constexpr uint64_t kOnes = 0x0101010101010101ULL;
    const uint64_t amp = word ^ (kOnes * '&');
    const uint64_t angle = (word | kOnes * 0x02) ^ (kOnes * '>');
    return (((word - kOnes * 0x20) & ~word) | ((amp - kOnes) & ~amp) | ((angle - kOnes) & ~angle)) &
           (kOnes * 0x80);
}

size_t firstXmlSpecialByte(const char* p, size_t n) {
    for (size_t at = 0; at < n; ++at)
        if (kXmlSpecial.special[static_cast<unsigned char>(p[at])]) return at;
    return n;
}

// Where the first byte needing escape stands in `text`; its size when none
// does (the usual case). Up to three bytes by the table (the first, middle
// and last cover them), then eight bytes at a time, the last word
// overlapping the one before; only a text with a word that may hold one is
// looked at byte by byte.
inline size_t firstXmlSpecial(std::string_view text) {
    const char* p = text.data();
    const size_t n = text.size();
    if (n < 4) return n > 0 && shortTextHolds(p, n, kXmlSpecial.special) ? firstXmlSpecialByte(p, n) : n;
    return anyWordMayHold(p, n, mayNeedEscape) ? firstXmlSpecialByte(p, n) : n;
}

// What a byte element text cannot carry is written as: the markup
// characters as entities, a forbidden control byte as a space.
inline std::string_view xmlReplacement(char c) {
    return c == '&' ? "&amp;" : c == '<' ? "&lt;" : c == '>' ? "&gt;" : " ";
}

// The size of `text` escaped, nothing needing escape before `first`.
size_t xmlEscapedSize(std::string_view text, size_t first) {
    size_t size = first;
    for (size_t i = first; i < text.size(); ++i) {
        const char c = text[i];
        size += kXmlSpecial.special[static_cast<unsigned char>(c)] ? xmlReplacement(c).size() : 1;
    }
    return size;
}

// Writes `text` escaped at `out` (xmlEscapedSize bytes); returns the end.
char* writeXmlEscaped(char* out, std::string_view text, size_t first) {
    std::memcpy(out, text.data(), first);
    out += first;
    for (size_t i = first; i < text.size(); ++i) {
        const char c = text[i];
        if (!kXmlSpecial.special[static_cast<unsigned char>(c)]) {
            *out++ = c;
            continue;
        }
        const std::string_view with = xmlReplacement(c);
        std::memcpy(out, with.data(), with.size());
        out += with.size();
    }
    return out;
}

// Writes n commas at `at`: up to sixteen (between neighbouring Values) with
// one store, more (the empty columns of a run) kCommaStore at a time; the
// commas past the end, fewer than kCommaStore, are overwritten by what
// follows (the room for them is made). Returns the end.
inline char* putCommas(char* at, size_t n) {
    static constexpr std::array<char, kCommaStore> kCommas = [] {
        std::array<char, kCommaStore> commas{};
        commas.fill(',');
        return commas;
    }();
    if (n <= 16) {
        std::memcpy(at, kCommas.data(), 16);
        return at + n;
    }
    for (size_t done = 0; done < n; done += kCommaStore) std::memcpy(at + done, kCommas.data(), kCommaStore);
    return at + n;
}

// The commas of CSV columns: one before every column but the table's first entry.
size_t commasOf(const FieldBits& columns) {
    size_t n = countOf(columns);
    return n > 0 && columns.test(0) ? n - 1 : n;
}

}  // namespace

void BuiltText::grow(size_t n) {
    const size_t capacity = std::max({size_ + n, capacity_ * 2, size_t{4096}});
    std::unique_ptr<char[]> bytes(new char[capacity]);
    if (size_ > 0) std::memcpy(bytes.get(), bytes_.get(), size_);
    bytes_ = std::move(bytes);
    capacity_ = capacity;
}

RecordWriter::RecordWriter(const FieldTable& fields)
    : size_(fields.size()),
      named_(size_),
      level0_(size_),
      level4_(size_),
      lineFields_(size_),
      everyLine_(size_),
      everyLineLevel4_(size_),
      scratchSet_(size_) {
    plans_.resize(size_);
    // The empty record is sized once: both tags of every named field.
    size_t emptyXmlBytes = 0;
    for (const FieldEntry& f : fields)
        if (!f.name.empty()) emptyXmlBytes += 2 * f.name.size() + 7;
    emptyXml_.reserve(emptyXmlBytes + 32);
    emptyXml_ = kLineOpen;
    long long highest = 0;
    int rises = 0;
    for (size_t i = 0; i < size_; ++i) {
        const FieldEntry& f = fields[i];
        FieldPlan& p = plans_[i];
        p.named = !f.name.empty();
        p.hasLine = !isBlank(f.serviceLineNumber);
        p.line = p.hasLine ? leadingNumber(f.serviceLineNumber) : 0;
        p.level = leadingNumber(f.level);
        if (p.level == 0) level0_.set(i);
        if (p.level == 4) level4_.set(i);
        if (p.level == 5 || p.level == 6) fileLevelFields_.push_back(static_cast<uint32_t>(i));
        // The line count follows the rises of the line number through the
        // table, the last entry left out.
        if (p.hasLine && i + 1 < size_) {
            if (p.line > highest) {
                highest = p.line;
                ++rises;
            }
            p.lineRun = rises;
            lineFields_.set(i);
        }
        if (!p.named) continue;
        named_.set(i);
        namedFields_.push_back(static_cast<uint32_t>(i));
        // Each tag is built in place, without temporaries.
        p.openTag.reserve(f.name.size() + 2);
        p.openTag.append("<").append(f.name).append(">");
        p.closeTag.reserve(f.name.size() + 5);
        p.closeTag.append("</").append(f.name).append(">\r\n");
        p.emptyElement.reserve(p.openTag.size() + p.closeTag.size());
        p.emptyElement.append(p.openTag).append(p.closeTag);
        tagBytes_ += p.emptyElement.size();
        const bool everyLine = p.line == 0;
        const long long line = !everyLine && p.hasLine && p.line > 0 ? p.line : 0;
        if (runs_.empty() || runs_.back().everyLine != everyLine || runs_.back().line != line) {
            if (!runs_.empty()) runs_.back().xmlEnd = emptyXml_.size();
            Run run;
            run.everyLine = everyLine;
            run.line = line;
            run.fields = FieldBits(size_);
            run.xmlAt = emptyXml_.size();
            runs_.push_back(std::move(run));
        }
        runs_.back().fields.set(i);
        p.emptyAt = emptyXml_.size();
        emptyXml_ += p.emptyElement;
        if (everyLine) {
            everyLine_.set(i);
            everyLineFields_.push_back(static_cast<uint32_t>(i));
            if (p.level == 4) everyLineLevel4_.set(i);
        } else if (p.hasLine) {
            lineFieldLists_[p.line].push_back(static_cast<uint32_t>(i));
        }
    }
    if (!runs_.empty()) runs_.back().xmlEnd = emptyXml_.size();
    emptyXml_ += kLineClose;
    for (Run& run : runs_) run.commas = commasOf(run.fields);
    shared_.assign(runs_.size(), SharedRun{});
    runSeen_.assign(static_cast<size_t>(rises) + 1, 0);
    namedCommas_ = commasOf(named_);
    for (const auto& [line, own] : lineFieldLists_) {
        LineLayout& layout = lines_[line];
        layout.xmlCleared = everyLineLevel4_;
        layout.csvCleared = everyLineLevel4_;
        for (uint32_t i : own) {
            if (plans_[i].level == 4) layout.csvCleared.set(i);
            if (plans_[i].level == 0 || plans_[i].level == 4) layout.xmlCleared.set(i);
        }
    }
}

// ---------------------------------------------------------------------------
// Records of ordinary size.

const FieldBits& RecordWriter::clearedAfterLine(long long k, bool xml) const {
    auto found = lines_.find(k);
    if (found == lines_.end()) return everyLineLevel4_;
    return xml ? found->second.xmlCleared : found->second.csvCleared;
}

// The CSV text of the given columns: room for the most it can take made at
// once, then the commas and the Values of the set fields written in order,
// the room left over given back. Every column but the table's first entry
// has a comma before its Value; `rank` gives each column's place among the
// columns.
void RecordWriter::csvColumns(const FieldTable& fields, const FieldBits& set, const FieldBits& columns,
                              const std::vector<uint32_t>& rank, size_t commas, BuiltText& out,
                              std::vector<Mark>* marks) const {
    const size_t start = out.size();
    out.extend(commas + kWorstGrowth * recordValueBytes_ + kCommaStore);
    char* const base = out.data();
    char* at = base + start;
    // The first column's Value has a comma before it unless it is the table's first entry.
    const size_t commaBeforeFirst = columns.test(0) ? 0 : 1;
    size_t commasWritten = 0;
    forEachInBoth(set, columns, [&](size_t i) {
        const std::string& v = fields[i].value;
        if (v.empty()) return;
        const size_t commasNeeded = rank[i] + commaBeforeFirst;
        at = putCommas(at, commasNeeded - commasWritten);
        commasWritten = commasNeeded;
        char* const valueStart = at;
        if (csvNeedsQuotes(v)) {
            at = writeCsvQuoted(at, v);
        } else {
            copyText(at, v.data(), v.size());
            at += v.size();
        }
        if (marks && everyLineLevel4_.test(i))
            marks->push_back(Mark{static_cast<size_t>(valueStart - base), static_cast<size_t>(at - base)});
    });
    at = putCommas(at, commas - commasWritten);
    out.truncate(static_cast<size_t>(at - base));
}

// Where each named field stands among the columns (among all named fields
// and within its run: the runs cut the named fields in table order) and
// where its Value goes in the empty-record text.
void RecordWriter::prepareWriting() {
    namedRank_.assign(size_, 0);
    runRank_.assign(size_, 0);
    valueAt_.assign(size_, 0);
    uint32_t named = 0;
    for (const Run& run : runs_) {
        uint32_t inRun = 0;
        run.fields.forEach([&](size_t i) {
            namedRank_[i] = named++;
            runRank_[i] = inRun++;
            valueAt_[i] = plans_[i].emptyAt + plans_[i].openTag.size();
        });
    }
    prepared_ = true;
}

// The empty-record text from `from` to `to`, with the Values of the set
// fields among `elements` put in after their open tags, appended to the
// output: room for the most it can take made at once, the fixed text
// between Values copied or, while gathering and long, handed over as a
// piece of its own, the room left over given back. Marks give where an
// every-line Level-4 Value stands.
void RecordWriter::xmlElements(const FieldTable& fields, const FieldBits& set, const FieldBits& elements,
                               size_t from, size_t to, std::vector<Mark>* marks) {
    const char* const fixed = emptyXml_.data();
    size_t pos = text_.size();
    text_.extend((to - from) + kWorstGrowth * recordValueBytes_);
    char* const out = text_.data();
    size_t at = from;
    auto fixedUpTo = [&](size_t end) {
        const size_t stretch = end - at;
        if (!gathering_ || stretch < kFixedPieceBytes) {
            copyText(out + pos, fixed + at, stretch);
            pos += stretch;
        } else {
            closePieceAt(pos);
            addFixedPiece(fixed + at, stretch);
        }
        at = end;
    };
    forEachInBoth(set, elements, [&](size_t i) {
        const std::string& v = fields[i].value;
        if (v.empty()) return;
        fixedUpTo(valueAt_[i]);
        const size_t valueStart = pos;
        const size_t first = firstXmlSpecial(v);
        if (first == v.size()) {
            copyText(out + pos, v.data(), v.size());
            pos += v.size();
        } else {
            pos = static_cast<size_t>(writeXmlEscaped(out + pos, v, first) - out);
        }
        if (marks && everyLineLevel4_.test(i)) marks->push_back(Mark{valueStart, pos});
    });
    fixedUpTo(to);
    text_.truncate(pos);
}

// The text of every every-line run, built once for all lines of the record:
// XML kept aside in text_ to be written from there, CSV in sharedCsv_. Where
// an every-line Level-4 Value stands is marked: line 1 alone shows it.
void RecordWriter::buildSharedText(const FieldTable& fields, const FieldBits& set, bool xml) {
    marks_.clear();
    if (xml) {
        closePiece();
        const bool wasGathering = gathering_;
        gathering_ = false;  // the shared text is held whole
        // A run without a Value in this record is its empty elements, written
        // from the empty-record text like the other lines' runs. A line's
        // opening tag is kept just before the first run's shared text and its
        // closing tag just after the last's, when those runs are every-line
        // ones: each line is then handed over in fewer pieces.
        for (size_t r = 0; r < runs_.size(); ++r)
            if (runs_[r].everyLine)
                shared_[r].empty = !anyInBoth(set, runs_[r].fields, [&](size_t i) { return !fields[i].value.empty(); });
        if (lineOpensShared() && !shared_.front().empty) text_ += kLineOpen;
        for (size_t r = 0; r < runs_.size(); ++r) {
            if (!runs_[r].everyLine || shared_[r].empty) continue;
            const size_t start = text_.size();
            const size_t firstMark = marks_.size();
            xmlElements(fields, set, runs_[r].fields, runs_[r].xmlAt, runs_[r].xmlEnd, &marks_);
            shared_[r] = SharedRun{start, text_.size() - start, firstMark, marks_.size()};
        }
        if (lineClosesShared() && !shared_.back().empty) text_ += kLineClose;
        gathering_ = wasGathering;
        pieceStart_ = text_.size();
        return;
    }
    sharedCsv_.clear();
    for (size_t r = 0; r < runs_.size(); ++r) {
        if (!runs_[r].everyLine) continue;
        const size_t start = sharedCsv_.size();
        const size_t firstMark = marks_.size();
        csvColumns(fields, set, runs_[r].fields, runRank_, runs_[r].commas, sharedCsv_, &marks_);
        shared_[r] = SharedRun{start, sharedCsv_.size() - start, firstMark, marks_.size()};
    }
}

// The shared text of every-line run `run` on line k: from line 2 on without
// the marked Level-4 Values (their columns or elements left empty). XML is
// written from where the text is kept, CSV copied.
void RecordWriter::appendShared(size_t run, long long k, bool xml) {
    const SharedRun& shared = shared_[run];
    const bool first = xml && run == 0 && lineOpensShared();
    const bool last = xml && run + 1 == runs_.size() && lineClosesShared();
    if (xml && shared.empty) {
        // The empty-record text holds the tags right before the first run
        // and right after the last.
        const size_t from = runs_[run].xmlAt - (first ? kLineOpen.size() : 0);
        const size_t to = runs_[run].xmlEnd + (last ? kLineClose.size() : 0);
        appendFixed(emptyXml_.data() + from, to - from);
        return;
    }
    size_t at = shared.at;
    size_t end = shared.at + shared.size;
    if (first) at -= kLineOpen.size();
    if (last) end += kLineClose.size();
    auto copy = [&](size_t from, size_t to) {
        if (to <= from) return;
        if (xml) {
            closePiece();
            pieces_.push_back(Piece{nullptr, from, to - from});
        } else {
            text_.append(sharedCsv_.data() + from, to - from);
        }
    };
    if (k > 1) {
        for (size_t m = shared.firstMark; m < shared.endMark; ++m) {
            copy(at, marks_[m].from);
            at = marks_[m].to;
        }
    }
    copy(at, end);
}

// Service line k (k >= 1): the every-line runs' shared text, the line's own
// runs with their Values, and (XML) the other lines' fields empty.
void RecordWriter::serviceLine(FieldTable& fields, const FieldBits& set, long long k, bool xml) {
    if (xml) {
        if (!lineOpensShared()) text_ += kLineOpen;
        for (size_t r = 0; r < runs_.size(); ++r) {
            const Run& run = runs_[r];
            if (run.everyLine)
                appendShared(r, k, true);
            else if (run.line == k)
                xmlElements(fields, set, run.fields, run.xmlAt, run.xmlEnd, nullptr);
            else
                appendFixed(emptyXml_.data() + run.xmlAt, run.xmlEnd - run.xmlAt);
        }
        if (!lineClosesShared()) text_ += kLineClose;
    } else {
        for (size_t r = 0; r < runs_.size(); ++r) {
            const Run& run = runs_[r];
            if (run.everyLine)
                appendShared(r, k, false);
            else if (run.line == k)
                csvColumns(fields, set, run.fields, runRank_, run.commas, text_, nullptr);
        }
        text_ += "\r\n";
    }
    // A line's own Values and the every-line Level-4 ones are cleared once written.
    clearIn(fields, set, clearedAfterLine(k, xml));
}

// Text of the empty-record text: copied, or while gathering handed over as
// it is when long.
void RecordWriter::appendFixed(const char* data, size_t size) {
    if (!gathering_ || size < kFixedPieceBytes) {
        text_.append(data, size);
        return;
    }
    closePiece();
    addFixedPiece(data, size);
}

// A piece of the empty-record text; one that continues the piece before
// (the empty runs of neighbouring lines) lengthens it.
void RecordWriter::addFixedPiece(const char* data, size_t size) {
    if (!pieces_.empty() && pieces_.back().fixed && pieces_.back().fixed + pieces_.back().size == data) {
        pieces_.back().size += size;
        return;
    }
    pieces_.push_back(Piece{data, 0, size});
}

// Ends the run of text_ before `end` not yet in a piece.
void RecordWriter::closePieceAt(size_t end) {
    if (end > pieceStart_) pieces_.push_back(Piece{nullptr, pieceStart_, end - pieceStart_});
    pieceStart_ = end;
}

void RecordWriter::closePiece() { closePieceAt(text_.size()); }

void RecordWriter::clearIn(FieldTable& fields, const FieldBits& set, const FieldBits& which) const {
    forEachInBoth(set, which, [&](size_t i) { clearValue(fields[i].value); });
}

// The fields that may hold something: the caller's set, or found afresh.
const FieldBits& RecordWriter::setFieldsOf(const FieldTable& fields, const RecordWriteRequest& request) {
    if (request.setFields && request.setFields->wordCount() == scratchSet_.wordCount()) return *request.setFields;
    scratchSet_ = FieldBits(size_);
    for (size_t i = 0; i < size_; ++i)
        if (!fields[i].value.empty() || fields[i].occurrenceCount != 0) scratchSet_.set(i);
    return scratchSet_;
}

// After a record: the Level-0 Values emptied and every count reset, in one
// pass over the set fields; with `forgetEmpty`, the fields left empty are
// taken out of the set.
void RecordWriter::afterRecord(FieldTable& fields, FieldBits& set, bool forgetEmpty) const {
    for (size_t w = 0; w < set.wordCount(); ++w) {
        const uint64_t level0 = level0_.word(w);
        uint64_t empty = 0;
        for (uint64_t m = set.word(w); m != 0; m &= m - 1) {
            const int bit = lowestSetBit(m);
            FieldEntry& f = fields[(w << 6) + static_cast<size_t>(bit)];
            if ((level0 >> bit) & 1) clearValue(f.value);
            f.occurrenceCount = 0;
            if (f.value.empty()) empty |= uint64_t{1} << bit;
        }
        if (forgetEmpty) set.word(w) &= ~empty;
    }
}

// Takes out of the caller's set the fields left empty with no count.
void RecordWriter::forget(const FieldTable& fields, FieldBits& set) const {
    set.forEach([&](size_t i) {
        if (fields[i].value.empty() && fields[i].occurrenceCount == 0) set.reset(i);
    });
}

// A finished record: while gathering it stays collected until enough has
// gathered; otherwise its pieces are put together and appended at once.
void RecordWriter::finishRecord(const RecordWriteRequest& request, bool& ok) {
    if (gathering_) {
        if (!batchAppender_) {
            if (sense_.csv) text_.reserve(kBatchTextBytes);
            batchAppender_ = request.appender;
            batchDestination_ = request.destination;
            batchAppender_->gatherFrom(this);
        }
        closePiece();
        for (; countedPieces_ < pieces_.size(); ++countedPieces_) gatheredBytes_ += pieces_[countedPieces_].size;
        if (gatheredBytes_ >= kGatherBytes || pieces_.size() >= kGatherPieces) ok = handOverBatch(true) && ok;
        return;
    }
    closePiece();
    std::string record;
    for (const Piece& piece : pieces_) record.append(piece.fixed ? piece.fixed : text_.data() + piece.at, piece.size);
    ok = CSC_0001E(record, request.destination, kAppend) && ok;
    pieces_.clear();
    text_.clear();
    pieceStart_ = 0;
}

bool RecordWriter::handOver() { return handOverBatch(false); }

bool RecordWriter::handOverBatch(bool background) {
    OutputAppender* appender = batchAppender_;
    batchAppender_ = nullptr;
    closePiece();
    // Another file, or a write of the appender's own, comes after every
    // batch already handed over (the appender may close the file they go to).
    const bool sameFile = appender == writingAppender_ && batchDestination_ == writingDestination_;
    bool ok = background && sameFile ? true : background_.wait();
    if (appender) {
        appender->gatherFrom(nullptr);
        views_.clear();
        for (const Piece& piece : pieces_)
            views_.emplace_back(piece.fixed ? piece.fixed : text_.data() + piece.at, piece.size);
        if (!background) {
            ok = appender->appendGathered(views_.data(), views_.size(), batchDestination_) && ok;
        } else if (const int fd = appender->heldFile(batchDestination_); fd < 0) {
            ok = false;
        } else {
            ok = background_.start(fd, views_.data(), views_.size()) && ok;
            writingAppender_ = appender;
            writingDestination_ = batchDestination_;
            WritingBatch& next = writing_[nextWriting_];
            nextWriting_ = (nextWriting_ + 1) % BackgroundWrite::kMaxUnfinished;
            std::swap(text_, next.text);
            std::swap(views_, next.views);
            // The appender waits for this write before anything else it does.
            appender->gatherFrom(this);
        }
    }
    pieces_.clear();
    text_.clear();
    pieceStart_ = 0;
    countedPieces_ = 0;
    gatheredBytes_ = 0;
    return ok;
}

bool RecordWriter::flush() { return handOverBatch(false); }

RecordWriter::~RecordWriter() { flush(); }

// ---------------------------------------------------------------------------
// Records too large to hold whole.

void RecordWriter::appendElement(size_t i, std::string_view value) {
    spillText_ += plans_[i].openTag;
    for (size_t at = 0; at < value.size(); at += kEscapeChunk) {
        appendXmlEscaped(spillText_, value.substr(at, kEscapeChunk));
        if (spillText_.size() >= kSpillBytes) spill();
    }
    spillText_ += plans_[i].closeTag;
    if (spillText_.size() >= kSpillBytes) spill();
}

void RecordWriter::appendPiece(std::string_view piece) {
    if (piece.size() >= kSpillBytes) {
        // Written straight out after what is held, without a copy.
        spill();
        emit(piece);
        return;
    }
    spillText_ += piece;
    if (spillText_.size() >= kSpillBytes) spill();
}

// A CSV column's Value, quoted when it must be; a quoted copy (rare) is built
// apart and then appended like any piece.
void RecordWriter::appendCsvPiece(std::string_view value) {
    if (!csvNeedsQuotes(value)) {
        appendPiece(value);
        return;
    }
    std::string quoted;
    appendCsvValue(quoted, value);
    appendPiece(quoted);
}

void RecordWriter::emit(std::string_view text) {
    const RecordWriteRequest& r = *request_;
    bool ok = r.appender ? r.appender->append(text, r.destination)
                         : CSC_0001E(std::string(text), r.destination, kAppend);
    if (!ok) spillFailed_ = true;
}

void RecordWriter::spill() {
    if (spillText_.empty()) return;
    emit(spillText_);
    spillText_.clear();
}

// Each line of the record at most repeats the tags and every Value, each
// Value escaped to at most five times its length (XML) or as it is (CSV).
bool RecordWriter::recordIsLarge(long long lines, bool xml) const {
    const double perLine =
        static_cast<double>(xml ? tagBytes_ + 20 + kWorstGrowth * recordValueBytes_ : size_ + recordValueBytes_);
    return perLine * static_cast<double>(lines) > static_cast<double>(kSpillBytes);
}

// Field i's element on line k (k >= 1): with its Value when written on every line or
// on line k, empty when it belongs to another line.
void RecordWriter::appendXmlElementOfLine(FieldTable& fields, size_t i, long long k) {
    const FieldPlan& p = plans_[i];
    FieldEntry& f = fields[i];
    if (p.line == k && p.hasLine) {
        appendElement(i, f.value);
        if (p.level == 0 || p.level == 4) clearValue(f.value);
    } else if (p.line == 0) {
        appendElement(i, f.value);
        if (p.level == 4) clearValue(f.value);
    } else {
        spillText_ += p.emptyElement;
    }
}

void RecordWriter::appendCsvColumn(FieldTable& fields, size_t i) {
    if (i > 0) appendPiece(",");
    FieldEntry& f = fields[i];
    appendCsvPiece(f.value);
    if (plans_[i].level == 4) clearValue(f.value);
}

// Line k's columns: the every-line columns and the line's own, merged back
// into table order.
void RecordWriter::takeLineColumns(long long k) {
    static const std::vector<uint32_t> kNoFields;
    auto own = lineFieldLists_.find(k);
    const std::vector<uint32_t>& lineOwn = own == lineFieldLists_.end() ? kNoFields : own->second;
    lineColumns_.clear();
    std::merge(everyLineFields_.begin(), everyLineFields_.end(), lineOwn.begin(), lineOwn.end(),
               std::back_inserter(lineColumns_));
}

// A record built field by field and written out whenever the text held grows
// large; each line from the Values.
void RecordWriter::spilledRecord(FieldTable& fields, long long lines, bool xml, bool serviceLineMode) {
    spillText_.clear();
    if (xml) {
        for (long long k = 1; k <= lines; ++k) {
            spillText_ += kLineOpen;
            for (uint32_t i : namedFields_) {
                if (serviceLineMode)
                    appendXmlElementOfLine(fields, i, k);
                else
                    appendElement(i, fields[i].value);
            }
            spillText_ += kLineClose;
        }
    } else if (serviceLineMode) {
        for (long long k = 1; k <= lines; ++k) {
            takeLineColumns(k);
            for (uint32_t i : lineColumns_) appendCsvColumn(fields, i);
            spillText_ += "\r\n";
        }
    } else {
        for (uint32_t i : namedFields_) {
            if (i > 0) appendPiece(",");
            appendCsvPiece(fields[i].value);
        }
        spillText_ += "\r\n";
    }
    spill();
    std::string().swap(spillText_);  // a large record's memory is given back
}

// ---------------------------------------------------------------------------

// Number of service lines with data, at least 1 (1 without `countLines`),
// and the bytes the Values of the set fields hold together
// (recordValueBytes_), in one pass. All fields but the last take part in the
// line count; a line counts once when any of its fields, from the rise of the
// line number to the next rise, holds a value.
long long RecordWriter::measureRecord(const FieldTable& fields, const FieldBits& set, bool countLines) {
    if (countLines && ++runStamp_ == 0) {
        std::fill(runSeen_.begin(), runSeen_.end(), 0);
        runStamp_ = 1;
    }
    long long count = 0;
    size_t bytes = 0;
    for (size_t w = 0; w < set.wordCount(); ++w) {
        const uint64_t word = set.word(w);
        const uint64_t lineBits = countLines ? word & lineFields_.word(w) : 0;
        for (uint64_t m = word; m != 0; m &= m - 1) {
            const int bit = lowestSetBit(m);
            const size_t i = (w << 6) + static_cast<size_t>(bit);
            const std::string& v = fields[i].value;
            bytes += v.size();
            if (((lineBits >> bit) & 1) == 0) continue;
            const int run = plans_[i].lineRun;
            if (run < 0 || runSeen_[static_cast<size_t>(run)] == runStamp_ || isBlank(v)) continue;
            runSeen_[static_cast<size_t>(run)] = runStamp_;
            ++count;
        }
    }
    recordValueBytes_ = bytes;
    return count == 0 ? 1 : count;
}

// Whether a set field holds a Value that is not blank; stops at the first.
bool RecordWriter::anyValue(const FieldTable& fields, const FieldBits& set) const {
    for (size_t w = 0; w < set.wordCount(); ++w)
        for (uint64_t m = set.word(w); m != 0; m &= m - 1)
            if (!isBlank(fields[(w << 6) + static_cast<size_t>(lowestSetBit(m))].value)) return true;
    return false;
}

// What the job asks of the writer, read from its options once per job
// instead of once per record.
const RecordWriter::JobSense& RecordWriter::senseOf(const JobParams* job) {
    if (senseRead_ && senseJob_ == job && (!job || (senseType_ == job->conversionType && senseOptions_ == job->options)))
        return sense_;
    sense_ = JobSense{};
    senseRead_ = true;
    senseJob_ = job;
    if (!job) return sense_;
    senseType_ = job->conversionType;
    senseOptions_ = job->options;
    sense_.serviceLineMode = hasOption(*job, OptionCode::ServiceLines) || hasOption(*job, OptionCode::EveryLine);
    sense_.ml = hasOption(*job, OptionCode::EveryLine);
    sense_.database = beginsWith(trimSpaces(senseType_), "X12,ODBC");
    sense_.xml = beginsWith(senseType_, "X12,XML");
    sense_.csv = beginsWith(senseType_, "X12,CSV");
    return sense_;
}

RecordWriteResult RecordWriter::write(FieldTable& fields, const RecordWriteRequest& request, RunContext& ctx,
                                      bool wantValues) {
    RecordWriteResult result;
    if (wantValues) result.values.assign(fields.size(), std::string());
    FieldBits& set = const_cast<FieldBits&>(setFieldsOf(fields, request));
    const bool any = anyValue(fields, set);
    for (size_t i : fileLevelFields_) {
        if (plans_[i].level == 5 && request.sourceName) fields[i].value = *request.sourceName;
        if (plans_[i].level == 6 && request.level6Destination) fields[i].value = *request.level6Destination;
        if (!fields[i].value.empty()) set.set(i);
    }
    if (!any) return result;

    const JobSense& sense = senseOf(request.job);
    const bool serviceLineMode = sense.serviceLineMode;
    const bool ml = sense.ml;

    if (sense.database) {
        std::optional<long long> lines;
        if (serviceLineMode) lines = measureRecord(fields, set, true);
        result.databaseLog = writeToDatabase(fields, request, lines, ml, ctx);
        result.recordWritten = true;
        if (&set == request.setFields) forget(fields, set);
        return result;
    }

    if (!sense.xml && !sense.csv) {
        if (!serviceLineMode) {
            if (wantValues)
                for (size_t i = 0; i < fields.size(); ++i)
                    if (plans_[i].named) result.values[i] = fields[i].value;
            afterRecord(fields, set, &set == request.setFields);
        } else if (&set == request.setFields) {
            forget(fields, set);
        }
        return result;
    }

    const long long lines = measureRecord(fields, set, serviceLineMode);
    request_ = &request;
    bool ok = true;
    if (recordIsLarge(lines, sense.xml)) {
        ok = flush();
        spillFailed_ = false;
        spilledRecord(fields, lines, sense.xml, serviceLineMode);
        ok = ok && !spillFailed_;
    } else {
        // With an appender, records are collected and handed over together.
        if (batchAppender_ && (batchAppender_ != request.appender || batchDestination_ != request.destination))
            ok = flush();
        gathering_ = request.appender != nullptr;
        if (!prepared_) prepareWriting();
        if (!serviceLineMode) {
            if (sense.xml) {
                xmlElements(fields, set, named_, 0, emptyXml_.size(), nullptr);
            } else {
                csvColumns(fields, set, named_, namedRank_, namedCommas_, text_, nullptr);
                text_ += "\r\n";
            }
        } else {
            buildSharedText(fields, set, sense.xml);
            for (long long k = 1; k <= lines; ++k) serviceLine(fields, set, k, sense.xml);
        }
        finishRecord(request, ok);
    }
    afterRecord(fields, set, &set == request.setFields);
    result.writeFailed = !ok;
    result.recordWritten = ok;
    request_ = nullptr;
    return result;
}

void appendXmlEscaped(std::string& out, std::string_view text) {
    const size_t first = firstXmlSpecial(text);
    if (first == text.size()) {
        out.append(text);
        return;
    }
    const size_t at = out.size();
    out.resize(at + xmlEscapedSize(text, first));
    writeXmlEscaped(out.data() + at, text, first);
}

RecordWriteResult CTL48400C(FieldTable& fields, const RecordWriteRequest& request, RunContext& ctx) {
    RecordWriter writer(fields);
    return writer.write(fields, request, ctx, true);
}

void CTL48400W(const std::vector<std::string>& values, std::vector<std::vector<std::string>>& records) {
    if (records.size() == 1 && records[0].empty()) {
        records[0] = values;
        return;
    }
    records.push_back(values);
}

}  // namespace brolvin
