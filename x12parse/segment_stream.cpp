#include "x12parse/segment_stream.h"

#include "util/file_blocks.h"
#include "util/file_io.h"
#include "util/platform.h"

namespace brolvin {

void SegmentStream::appendCleaned(const char* p, const char* end) {
    if (buffer_.empty())
        while (p < end && isLayoutByte(*p)) ++p;
    // Measured before cleaning, so no byte beyond the limit is ever held.
    if (buffer_.size() + static_cast<size_t>(end - p) > kMaxSegmentBytes) {
        refuseOverlong();
        return;
    }
    if (isClean(p, end)) {
        buffer_.append(p, static_cast<size_t>(end - p));
        return;
    }
    for (; p < end; ++p) {
        char c = *p;
        if (c == ',')
            buffer_.push_back(' ');
        else if (c != '\r' && c != '\n')
            buffer_.push_back(c);
    }
}

bool readSourceBlocks(const std::string& path, const std::function<bool(std::string_view)>& onBlock,
                      Platform* platform, size_t blockSize) {
    if (!fileExists(path)) return false;
    bool first = true;
    BlockReadError error;
    const bool read = readFileBlocks(
        path,
        [&](std::string_view block) {
            if (first && block.starts_with(kUtf8Mark)) block.remove_prefix(kUtf8Mark.size());
            first = false;
            return onBlock(block);
        },
        error, blockSize);
    if (!read && !error.atOpen && platform)
        platform->warningLine(fileErrorText("Cfile <ERROR> FC-Fread #", error.code));
    return read;
}

long long streamFile(const std::string& path, char terminator,
                     const std::function<void(std::string_view)>& deliver, SegmentHistory* history,
                     Platform* platform) {
    SegmentStream stream(terminator, history);
    if (!streamFile(path, stream, deliver, platform)) return -1;
    return stream.segmentCount();
}

}  // namespace brolvin
