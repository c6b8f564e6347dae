// The engine's debug text with its detail counter: detail lines stop at a
// limit so the log stays small on large sources, and so do detail and raw
// text once the text has reached kMaxDebugTextBytes, whatever the sizes of
// the segments and values it shows.
#pragma once

#include <algorithm>
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

    // Appends a line (CR LF added) when the log is on.
    void line(std::string_view text) {
        if (!on_) return;
        text_.append(text);
        text_.append("\r\n");
    }
    // Appends raw text when the log is on and the text stays within its size limit.
    void raw(std::string_view text) {
        if (on_ && text.size() <= kMaxDebugTextBytes - std::min(text_.size(), kMaxDebugTextBytes))
            text_.append(text);
    }
    std::string& text() { return text_; }

private:
    bool on_;
    long long counter_ = 0;
    std::string text_;
};

}  // namespace brolvin
