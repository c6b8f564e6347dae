// The previous-segment history ("pba"): the eight segments last pushed,
// newest first.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "util/byte_words.h"

namespace brolvin {

// Entry i (0-based) is the segment pushed i pushes ago. A push costs one
// copy of the segment: a segment of ordinary length is copied into the
// entry's own bytes, a longer one into a string of its own. Of a segment
// longer than kEntryBytes (a binary one) only that many leading bytes are
// kept: the history is read for identifiers and qualifiers, and eight whole
// copies of huge segments would multiply the memory they take.
class SegmentHistory {
public:
    SegmentHistory() = default;
    // Entries newest first; missing ones are "".
    SegmentHistory(std::initializer_list<std::string_view> newestFirst);

    static constexpr size_t size() { return 8; }
    static constexpr size_t kEntryBytes = size_t{1} << 20;
    std::string_view operator[](size_t i) const { return entries_[(head_ + i) % 8].view(); }
    void push(std::string_view segment) {
        head_ = (head_ + 7) % 8;
        entries_[head_].assign(segment);
    }

private:
    struct Entry {
        static constexpr size_t kInlineBytes = 120;
        std::string_view view() const { return long_ ? std::string_view(longText_) : std::string_view(bytes_, size_); }
        // Keeps `segment`, cut to kEntryBytes.
        void assign(std::string_view segment) {
            segment = segment.substr(0, kEntryBytes);
            if (segment.size() > kInlineBytes) {
                longText_.assign(segment);  // safe for a segment within longText_ itself
                long_ = true;
                return;
            }
            // A segment lying in these very bytes (pushed back from the
            // history) is moved; any other is copied.
            if (segment.data() >= bytes_ && segment.data() < bytes_ + kInlineBytes)
                std::memmove(bytes_, segment.data(), segment.size());
            else
                copyText(bytes_, segment.data(), segment.size());
            size_ = static_cast<uint32_t>(segment.size());
            long_ = false;
        }
        char bytes_[kInlineBytes];
        uint32_t size_ = 0;
        bool long_ = false;
        std::string longText_;  // a segment longer than kInlineBytes
    };
    std::array<Entry, 8> entries_;
    size_t head_ = 0;
};

// CTL48400S: pushes a segment into the segment history.
// Moves every entry one place on (the last falls off) and puts `segment`
// into entry 1 (index 0).
inline void pushHistory(SegmentHistory& history, std::string_view segment) { history.push(segment); }

}  // namespace brolvin
