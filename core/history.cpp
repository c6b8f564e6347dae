#include "core/history.h"

namespace brolvin {

SegmentHistory::SegmentHistory(std::initializer_list<std::string_view> newestFirst) {
    size_t i = 0;
    for (std::string_view entry : newestFirst) {
        if (i == entries_.size()) break;
        entries_[i++].assign(entry);
    }
}

}  // namespace brolvin
