#include "x12parse/history.h"

namespace brolvin {

void CTL48400S(SegmentHistory& history, std::string_view segment) {
    // Rotate so the oldest buffer is reused for the new entry.
    for (size_t i = history.size() - 1; i > 0; --i) history[i].swap(history[i - 1]);
    history[0].assign(segment);
}

}  // namespace brolvin
