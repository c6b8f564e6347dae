// The previous-segment history ("pba"): the eight segments last pushed,
// newest first.
#pragma once

#include <array>
#include <initializer_list>
#include <string>
#include <string_view>

namespace brolvin {

// Entry i (0-based) is the segment pushed i pushes ago. A push reuses the
// buffer of the entry that falls off, so it costs one copy of the segment.
// Of a segment longer than kEntryBytes (a binary one) only that many leading
// bytes are kept: the history is read for identifiers and qualifiers, and
// eight whole copies of huge segments would multiply the memory they take.
class SegmentHistory {
public:
    SegmentHistory() = default;
    // Entries newest first; missing ones are "".
    SegmentHistory(std::initializer_list<std::string_view> newestFirst);

    static constexpr size_t size() { return 8; }
    static constexpr size_t kEntryBytes = size_t{1} << 20;
    const std::string& operator[](size_t i) const { return entries_[(head_ + i) % 8]; }
    void push(std::string_view segment) {
        head_ = (head_ + 7) % 8;
        std::string& entry = entries_[head_];
        segment = segment.substr(0, kEntryBytes);
        // Emptied and appended into the buffer it has, which costs less than
        // a replacement; a segment that lies in that very buffer is replaced.
        if (segment.data() >= entry.data() && segment.data() <= entry.data() + entry.size()) {
            entry.assign(segment);
            return;
        }
        entry.clear();
        entry.append(segment);
    }

private:
    std::array<std::string, 8> entries_;
    size_t head_ = 0;
};

// CTL48400S: pushes a segment into the segment history.
// Moves every entry one place on (the last falls off) and puts `segment`
// into entry 1 (index 0).
inline void pushHistory(SegmentHistory& history, std::string_view segment) { history.push(segment); }

}  // namespace brolvin
