#include "util/file_blocks.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace brolvin {

bool readFileBlocks(const std::string& path, const std::function<void(std::string_view)>& onBlock,
                    int& error, size_t blockSize) {
    return readFileBlocksWhile(
        path,
        [&](std::string_view block) {
            onBlock(block);
            return true;
        },
        error, blockSize);
}

bool readFileBlocksWhile(const std::string& path, const std::function<bool(std::string_view)>& onBlock,
                         int& error, size_t blockSize) {
    error = 0;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return false;
    }
    if (blockSize == 0) blockSize = kSourceBlockSize;
    std::vector<char> block(blockSize);
    bool ok = true;
    for (;;) {
        size_t filled = 0;
        while (filled < blockSize) {
            ssize_t got = ::read(fd, block.data() + filled, blockSize - filled);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) {
                error = errno;
                ok = false;
            }
            if (got <= 0) break;
            filled += static_cast<size_t>(got);
        }
        if (filled > 0 && !onBlock(std::string_view(block.data(), filled))) break;
        if (!ok || filled < blockSize) break;
    }
    ::close(fd);
    return ok;
}

}  // namespace brolvin
