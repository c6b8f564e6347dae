#include "util/file_blocks.h"

#include <unistd.h>

#include <cerrno>
#include <memory>
#include <vector>

#include "util/file_handle.h"
#include "util/file_io.h"

namespace brolvin {

std::string readErrorText(const BlockReadError& error) {
    return fileErrorText(error.atOpen ? "Cfile <ERROR> FC-Open #" : "Cfile <ERROR> FC-Fread #", error.code);
}

bool readFileBlocks(const std::string& path, const std::function<bool(std::string_view)>& onBlock,
                    BlockReadError& error, size_t blockSize) {
    error = BlockReadError{};
    FileHandle file(path, O_RDONLY);
    if (!file.valid()) {
        error = {errno, true};
        return false;
    }
    if (blockSize == 0) blockSize = kSourceBlockSize;
    // Filled by read() before use: no need to zero it first.
    auto block = std::make_unique_for_overwrite<char[]>(blockSize);
    for (;;) {
        size_t filled = 0;
        while (filled < blockSize) {
            ssize_t got = ::read(file.fd(), block.get() + filled, blockSize - filled);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) {
                error.code = errno;
                return false;
            }
            if (got == 0) break;
            filled += static_cast<size_t>(got);
        }
        if (filled > 0 && !onBlock(std::string_view(block.get(), filled))) return true;
        if (filled < blockSize) return true;
    }
}

}  // namespace brolvin
