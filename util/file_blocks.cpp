#include "util/file_blocks.h"

#include <unistd.h>

#include <algorithm>
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
    // A smaller file is read through a block of its size (a byte more, to see
    // its end, in whole pages): a small conversion touches no large buffer.
    const long long size = fileSize(path);
    if (size >= 0 && static_cast<unsigned long long>(size) < blockSize)
        blockSize = std::min(blockSize, (static_cast<size_t>(size) + 1 + 4095) & ~size_t{4095});
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
