// The engine's debug text with its detail counter: detail lines stop at a
// limit so the log stays small on large sources, and so do detail and raw
// text once the text has reached kMaxDebugTextBytes, whatever the sizes of
// the segments and values it shows.
#pragma once

#include <algorithm>
#include <initializer_list>
#include <string>
#include <string_view>

#include "util/input_limits.h"

namespace brolvin {

class DebugLog {
public:
    static constexpr long long kDetailLimit = 5000;

    explicit DebugLog(bool on) : on_(on) {}

    bool on() const { return on_; }
    // Detail lines may still be written.
    bool detail() const { return on_ && counter_ < kDetailLimit && text_.size() < kMaxDebugTextBytes; }
    long long counter() const { return counter_; }
    long long& counterRef() { return counter_; }
    // Counts one detail entry.
    void count() { ++counter_; }
    // A detail entry of `bytes` more may still be added.
    bool room(size_t bytes) const { return on_ && counter_ < kDetailLimit && fits(bytes); }
    // Appends one counted entry (its text carries its own line ends) when it
    // fits below the limits; dropped otherwise.
    void entry(std::string_view text) {
        if (!room(text.size())) return;
        text_.append(text);
        ++counter_;
    }

    // Appends a line (CR LF added) when the log is on and the line fits
    // within the size limit.
    void line(std::string_view text) { line({text}); }
    // The same for a line made of parts, built without a copy.
    void line(std::initializer_list<std::string_view> parts) {
        size_t size = 2;
        for (std::string_view part : parts) size += part.size();
        if (!fits(size)) return;
        for (std::string_view part : parts) text_.append(part);
        text_.append("\r\n");
    }
    // Appends raw text when the log is on and the text fits within the size limit.
    void raw(std::string_view text) {
        if (fits(text.size())) text_.append(text);
    }
    // The log's last line, written whatever the size.
    void closingLine(std::string_view text) {
        if (!on_) return;
        text_.append(text);
        text_.append("\r\n");
    }
    std::string& text() { return text_; }

private:
    bool fits(size_t bytes) const {
        return on_ && bytes <= kMaxDebugTextBytes - std::min(text_.size(), kMaxDebugTextBytes);
    }

    bool on_;
    long long counter_ = 0;
    std::string text_;
};

}  // namespace brolvin
