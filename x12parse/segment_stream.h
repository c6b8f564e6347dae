// Turning the bytes of an X12 source into its stream of completed segments.
//
// Every comma becomes a space before anything else; a byte equal to the
// segment terminator completes the segment; other carriage returns and line
// feeds are dropped. Spaces and tabs before a segment's identifier are layout
// (indented files) and dropped too; so are spaces and tabs at a segment's end
// when the terminator is itself a line break. Each completed segment is
// counted and pushed into the history before it is delivered; text after the
// last terminator is never delivered. The source may arrive in blocks of any
// size, so a huge file is streamed with a small, fixed amount of memory: a
// segment longer than kMaxSegmentBytes is never collected, it stops the
// stream instead.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>

#include "util/byte_words.h"
#include "util/input_limits.h"
#include "core/element_split.h"
#include "core/history.h"

namespace brolvin {

class Platform;

// Bytes dropped between a terminator and the next segment's identifier.
inline bool isLayoutByte(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
inline bool isLineBreak(char c) { return c == '\r' || c == '\n'; }

// A UTF-8 byte-order mark at the start of a source, which is no part of it.
inline constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

class SegmentStream {
public:
    // `history`, when given, receives every completed segment before delivery.
    explicit SegmentStream(char terminator, SegmentHistory* history = nullptr)
        : term_(terminator), lineBreakTerminator_(isLineBreak(terminator)), history_(history) {}

    // Feeds the next bytes of the source. `deliver(std::string_view)` is called
    // once per completed segment; the view is valid only during the call.
    // Does nothing once the stream has stopped.
    template <class Deliver>
    void feed(const char* data, size_t n, Deliver&& deliver);

    // Stops the stream: later feeds deliver nothing.
    void stop() { stopped_ = true; }
    bool stopped() const { return stopped_; }
    // The stream stopped because segment number segmentCount() + 1 grew
    // beyond kMaxSegmentBytes.
    bool overlong() const { return overlong_; }

    // Segments completed so far.
    long long segmentCount() const { return count_; }
    char terminator() const { return term_; }
    // The collected text of the segment not yet completed.
    std::string_view pending() const { return buffer_; }
    // Starts a new source: no partial segment, counter 0 (history untouched).
    void reset() {
        buffer_.clear();
        count_ = 0;
        stopped_ = overlong_ = false;
    }

private:
    const char* findTerminator(const char* p, const char* end) const;
    static bool isClean(const char* p, const char* end);
    // Appends the bytes cleaned; stops the stream instead when the segment
    // would grow beyond kMaxSegmentBytes.
    void appendCleaned(const char* p, const char* end);
    // Empties the buffer, giving back the memory of an unusually long segment.
    void clearBuffer() {
        if (buffer_.capacity() > kKeptCapacity)
            std::string().swap(buffer_);
        else
            buffer_.clear();
    }
    void refuseOverlong() {
        overlong_ = stopped_ = true;
        std::string().swap(buffer_);
    }
    static constexpr size_t kKeptCapacity = 1 << 20;
    template <class Deliver>
    void complete(std::string_view segment, Deliver& deliver) {
        if (lineBreakTerminator_)
            while (!segment.empty() && (segment.back() == ' ' || segment.back() == '\t'))
                segment.remove_suffix(1);
        ++count_;
        if (history_) pushHistory(*history_, segment);
        deliver(segment);
    }

    char term_;
    bool lineBreakTerminator_;
    SegmentHistory* history_;
    std::string buffer_;  // empty while only layout has come since the last terminator
    long long count_ = 0;
    bool stopped_ = false;
    bool overlong_ = false;
};

// The identifiers of the segments a SegmentStream would deliver, found
// without cleaning or copying whole segments: after each terminator only the
// bytes up to the first element separator are looked at, and an identifier
// that lies clean within one block is handed on in place. With a comma or
// space terminator, or a blank separator that a line-break terminator's
// trimming could remove, it defers to a SegmentStream.
class IdentifierStream {
public:
    IdentifierStream(char terminator, char elementSeparator)
        : term_(terminator),
          sep_(elementSeparator),
          // A separator that is a comma or a line end never separates: the
          // cleaning turns it into a space or drops it first.
          sepCounts_(elementSeparator != ',' && elementSeparator != '\r' && elementSeparator != '\n'),
          lineBreakTerminator_(isLineBreak(terminator)),
          deferred_(terminator == ',' || terminator == ' ' ||
                    (lineBreakTerminator_ && (elementSeparator == ' ' || elementSeparator == '\t'))),
          general_(terminator) {
        for (char c : {sep_, ',', '\r', '\n'}) endsIdentifier_[static_cast<unsigned char>(c)] = true;
    }

    // `deliver(std::string_view identifier)` once per completed segment.
    // Does nothing once a segment was found longer than kMaxSegmentBytes.
    template <class Deliver>
    void feed(const char* data, size_t n, Deliver&& deliver);

    // From now on a segment whose identifier is neither empty nor begins
    // with one of `firstBytes` may be counted without being delivered: a
    // caller that looks only for a few identifiers is spared the others.
    void screen(std::string_view firstBytes) {
        screened_ = true;
        passes_.fill(false);
        for (char c : firstBytes) passes_[static_cast<unsigned char>(c)] = true;
        // Bytes that can make the identifier empty or that cleaning changes.
        for (char c : {sep_, ',', '\r', '\n', ' ', '\t'}) passes_[static_cast<unsigned char>(c)] = true;
    }

    // A segment grew beyond kMaxSegmentBytes; nothing more is delivered.
    bool overlong() const { return overlong_ || general_.overlong(); }
    // Segments completed so far.
    long long segmentCount() const { return generalUsed_ ? general_.segmentCount() : count_; }

private:
    char term_;
    char sep_;
    bool sepCounts_;
    bool lineBreakTerminator_;
    bool deferred_;  // identifiers are taken from whole segments
    // The bytes that end an identifier's plain run: the separator, and a
    // comma or line end that cleaning would change.
    std::array<bool, 256> endsIdentifier_{};
    // The bytes a delivered segment may begin with (after layout); see screen().
    std::array<bool, 256> passes_ = allBytes();
    bool screened_ = false;
    // Counts the screened-out segments from `p` on and returns where the
    // first segment it leaves to the byte-wise path begins.
    const char* skipScreenedOut(const char* p, const char* end);
    static std::array<bool, 256> allBytes() {
        std::array<bool, 256> all;
        all.fill(true);
        return all;
    }
    SegmentStream general_;
    bool carrying_ = false;  // a segment is open from an earlier block
    bool inLayout_ = false;  // only layout of it has come so far
    std::string id_;         // its identifier so far (cleaned)
    bool idDone_ = false;    // its element separator was met
    // The identifier of a segment that ends at its terminator, with a
    // line-break terminator's trailing blanks removed.
    std::string_view finished(std::string_view id) const {
        if (lineBreakTerminator_)
            while (!id.empty() && (id.back() == ' ' || id.back() == '\t')) id.remove_suffix(1);
        return id;
    }
    size_t carried_ = 0;     // its bytes in earlier blocks
    long long count_ = 0;
    bool generalUsed_ = false;
    bool overlong_ = false;
};

// Reads an X12 source in blocks of `blockSize` bytes for `onBlock`, until
// the end or until `onBlock` returns false; a UTF-8 byte-order mark at its
// start is passed over. False when the file cannot be opened or a read
// fails, which stops the reading there and is reported on standard error
// ("Cfile <ERROR> FC-Fread #").
bool readSourceBlocks(const std::string& path, const std::function<bool(std::string_view)>& onBlock,
                      Platform* platform = nullptr, size_t blockSize = 1 << 20);

// Streams the file through `stream` with readSourceBlocks, until the end or
// until the stream stops. False when the file cannot be opened (nothing is
// delivered) or a read fails. `deliver` is called for every segment, as its
// own type rather than through a std::function.
template <class Deliver>
bool streamFile(const std::string& path, SegmentStream& stream, Deliver&& deliver, Platform* platform = nullptr,
                size_t blockSize = 1 << 20) {
    return readSourceBlocks(
        path,
        [&](std::string_view block) {
            stream.feed(block.data(), block.size(), deliver);
            return !stream.stopped();
        },
        platform, blockSize);
}

// One pass over a whole file with a fresh stream; the number of segments
// delivered, or -1 when the file cannot be opened or read to its end.
long long streamFile(const std::string& path, char terminator,
                     const std::function<void(std::string_view)>& deliver,
                     SegmentHistory* history = nullptr, Platform* platform = nullptr);

// ---------------------------------------------------------------------------

inline const char* SegmentStream::findTerminator(const char* p, const char* end) const {
    if (term_ == ',') return nullptr;  // commas are spaces before the test: never a terminator
    if (term_ != ' ')
        return findByte(p, end, term_);
    // A space terminator is also met by every comma, which has become a space.
    for (; p < end; ++p)
        if (*p == ' ' || *p == ',') return p;
    return nullptr;
}

inline bool SegmentStream::isClean(const char* p, const char* end) {
    // Sixteen or eight bytes at a time; the last bytes are read with the
    // block that ends at `end` (testing a byte twice changes nothing), and
    // only a text shorter than eight bytes is tested byte by byte.
#ifdef BROLVIN_BYTES16
    if (end - p >= 16) {
        const Bytes16 commas = repeated16(','), returns = repeated16('\r'), feeds = repeated16('\n');
        auto found = [&](const char* at) {
            const Bytes16 block = loadBytes16(at);
            return bytesEqual16(block, commas) | bytesEqual16(block, returns) | bytesEqual16(block, feeds);
        };
        unsigned hits = 0;
        for (; end - p >= 16; p += 16) hits |= found(p);
        if (p < end) hits |= found(end - 16);
        return hits == 0;
    }
#endif
    if (end - p >= 8)
        return !anyWordMayHold(p, static_cast<size_t>(end - p), [](uint64_t word) {
            return (bytesEqual(word, ',') | bytesEqual(word, '\r') | bytesEqual(word, '\n')) != 0;
        });
    unsigned bad = 0;
    for (; p < end; ++p) {
        char c = *p;
        bad |= static_cast<unsigned>(c == ',') | static_cast<unsigned>(c == '\r') |
               static_cast<unsigned>(c == '\n');
    }
    return bad == 0;
}

template <class Deliver>
void SegmentStream::feed(const char* data, size_t n, Deliver&& deliver) {
    const char* p = data;
    const char* end = data + n;
    while (p < end && !stopped_) {
        const char* t = findTerminator(p, end);
        if (t == nullptr) {
            // No terminator will ever come with a comma terminator, so its
            // text is not kept at all.
            if (term_ != ',') appendCleaned(p, end);
            return;
        }
        if (buffer_.empty()) {
            // Layout after the previous terminator is dropped; a segment that
            // is then clean and whole in this block is delivered in place.
            while (p < t && isLayoutByte(*p)) ++p;
            if (static_cast<size_t>(t - p) <= kMaxSegmentBytes && isClean(p, t)) {
                complete(std::string_view(p, static_cast<size_t>(t - p)), deliver);
                p = t + 1;
                continue;
            }
        }
        appendCleaned(p, t);
        if (overlong_) return;
        complete(std::string_view(buffer_), deliver);
        clearBuffer();
        p = t + 1;
    }
}

inline const char* IdentifierStream::skipScreenedOut(const char* p, const char* end) {
#ifdef BROLVIN_BYTES16
    // Sixty-four bytes at a time, each window read once, the terminators found
    // by their bits: the segment from `p` to the next is screened out when its
    // first byte after layout does not pass. A window without a terminator
    // (a long segment) is left to the byte-wise path.
    const Bytes16 terminators = repeated16(term_);
    for (const char* window = p; end - window >= 64; window += 64) {
        uint64_t hits = 0;
        for (int k = 0; k < 4; ++k)
            hits |= uint64_t{bytesEqual16(loadBytes16(window + 16 * k), terminators)} << (16 * k);
        if (hits == 0) return p;
        for (; hits != 0; hits &= hits - 1) {
            const char* t = window + lowestSetBit(hits);
            const char* q = p;
            while (q < t && isLayoutByte(*q)) ++q;
            if (q == t || passes_[static_cast<unsigned char>(*q)]) return p;
            ++count_;
            p = t + 1;
        }
    }
#else
    (void)end;
#endif
    return p;
}

template <class Deliver>
void IdentifierStream::feed(const char* data, size_t n, Deliver&& deliver) {
    if (deferred_) {
        generalUsed_ = true;
        general_.feed(data, n, [&](std::string_view segment) { deliver(elementView(segment, 0, sep_)); });
        return;
    }
    if (overlong_) return;
    const char* p = data;
    const char* end = data + n;
    while (p < end) {
        if (screened_ && !carrying_) {
            p = skipScreenedOut(p, end);
            if (p == end) return;
        }
        const char* t = findByte(p, end, term_);
        const char* stop = t ? t : end;
        if (carried_ + static_cast<size_t>(stop - p) > kMaxSegmentBytes) {
            overlong_ = true;
            std::string().swap(id_);
            return;
        }
        const char* q = p;
        if (!carrying_) {
            // Layout before the identifier is dropped; an identifier with no
            // comma or line end in it is its own bytes.
            while (q < stop && isLayoutByte(*q)) ++q;
            if (t != nullptr && q < stop && !passes_[static_cast<unsigned char>(*q)]) {
                ++count_;  // screened out: its identifier begins with a byte no one asked for
                p = t + 1;
                continue;
            }
            const char* start = q;
            while (q < stop && !endsIdentifier_[static_cast<unsigned char>(*q)]) ++q;
            const bool separated = q < stop && *q == sep_ && sepCounts_;
            if (separated || q == stop) {
                std::string_view id(start, static_cast<size_t>(q - start));
                if (t != nullptr) {
                    ++count_;
                    deliver(separated ? id : finished(id));
                    p = t + 1;
                    continue;
                }
                id_.assign(id);
                idDone_ = separated;
                inLayout_ = id.empty() && !separated;
                carrying_ = true;
                carried_ = static_cast<size_t>(end - p);
                return;
            }
            id_.assign(start, static_cast<size_t>(q - start));
            idDone_ = false;
            inLayout_ = false;
            carrying_ = true;
        }
        // The identifier as the cleaned segment has it: layout before it and
        // line ends dropped, commas as spaces, up to the element separator.
        for (; !idDone_ && q < stop; ++q) {
            char c = *q;
            if (inLayout_ && isLayoutByte(c)) continue;
            inLayout_ = false;
            if (c == '\r' || c == '\n') continue;
            if (c == ',') c = ' ';
            if (c == sep_) {
                idDone_ = true;
                break;
            }
            id_.push_back(c);
        }
        if (t == nullptr) {
            carried_ += static_cast<size_t>(end - p);
            return;
        }
        ++count_;
        deliver(idDone_ ? std::string_view(id_) : finished(id_));
        carrying_ = false;
        carried_ = 0;
        p = t + 1;
    }
}

}  // namespace brolvin
