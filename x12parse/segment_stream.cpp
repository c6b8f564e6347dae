#include "x12parse/segment_stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

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

bool readFileBlocks(const std::string& path, const std::function<bool(const char*, size_t)>& onBlock,
                    Platform* platform, size_t blockSize) {
    if (!fileExists(path)) return false;
    int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) return false;
    struct stat st {};
    long long length = ::fstat(fd, &st) == 0 ? static_cast<long long>(st.st_size) : 0;
    if (blockSize == 0) blockSize = 1 << 20;
    std::vector<char> block(blockSize);
    long long position = 0;
    bool first = true;
    for (;;) {
        ssize_t got = ::read(fd, block.data(), block.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            if (platform) platform->warningLine(fileErrorText("Cfile <ERROR> FC-Fread #", errno));
            // The unread block counts as spaces; go on behind it.
            long long missing = std::min<long long>(static_cast<long long>(blockSize), length - position);
            if (missing <= 0) break;
            std::fill(block.begin(), block.begin() + missing, ' ');
            first = false;
            if (!onBlock(block.data(), static_cast<size_t>(missing))) break;
            position += missing;
            if (::lseek(fd, static_cast<off_t>(position), SEEK_SET) < 0) break;
            continue;
        }
        if (got == 0) break;
        position += got;
        size_t skip = 0;
        if (first && std::string_view(block.data(), static_cast<size_t>(got)).starts_with(kUtf8Mark))
            skip = kUtf8Mark.size();
        first = false;
        if (!onBlock(block.data() + skip, static_cast<size_t>(got) - skip)) break;
    }
    ::close(fd);
    return true;
}

bool streamFile(const std::string& path, SegmentStream& stream,
                const std::function<void(std::string_view)>& deliver, Platform* platform,
                size_t blockSize) {
    return readFileBlocks(
        path,
        [&](const char* data, size_t n) {
            stream.feed(data, n, deliver);
            return !stream.stopped();
        },
        platform, blockSize);
}

long long streamFile(const std::string& path, char terminator,
                     const std::function<void(std::string_view)>& deliver, SegmentHistory* history,
                     Platform* platform) {
    SegmentStream stream(terminator, history);
    if (!streamFile(path, stream, deliver, platform)) return -1;
    return stream.segmentCount();
}

}  // namespace brolvin
