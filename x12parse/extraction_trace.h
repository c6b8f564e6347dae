// The trace text of one extraction call: lines are built only while tracing
// is on, so a call without tracing costs no text work.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "util/input_limits.h"

namespace brolvin {

class TraceText {
public:
    explicit TraceText(std::string* out) : out_(out) {}
    bool on() const { return out_ != nullptr; }
    // Appends the parts and CR LF, unless that would take the trace beyond
    // the debug text's size limit (the values it shows may be large).
    void line(std::initializer_list<std::string_view> parts) {
        size_t size = 2;
        for (std::string_view part : parts) size += part.size();
        if (out_->size() + size > kMaxDebugTextBytes) return;
        for (std::string_view part : parts) out_->append(part);
        out_->append("\r\n");
    }

private:
    std::string* out_;
};

inline std::string numberText(long long n) { return std::to_string(n); }

}  // namespace brolvin
