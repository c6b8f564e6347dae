#include "util/file_blocks.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "util/file_handle.h"
#include "util/file_io.h"
#include "util/threads.h"

namespace brolvin {

std::string readErrorText(const BlockReadError& error) {
    return fileErrorText(error.atOpen ? "Cfile <ERROR> FC-Open #" : "Cfile <ERROR> FC-Fread #", error.code);
}

namespace {

// Fills the block from the file's position: the bytes read, which are fewer
// than the block's size only at the file's end; -1 with errno on failure.
long long fillBlock(int fd, char* block, size_t blockSize) {
    size_t filled = 0;
    while (filled < blockSize) {
        ssize_t got = ::read(fd, block + filled, blockSize - filled);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return -1;
        if (got == 0) break;
        filled += static_cast<size_t>(got);
    }
    return static_cast<long long>(filled);
}

// Hands a filled block to `onBlock`; whether reading goes on (it ends after
// a block shorter than the block size, the file's last, or when `onBlock`
// says so).
bool passOn(const std::function<bool(std::string_view)>& onBlock, const char* block, size_t filled,
            size_t blockSize) {
    if (filled > 0 && !onBlock(std::string_view(block, filled))) return false;
    return filled == blockSize;
}

bool readBlocksHere(int fd, const std::function<bool(std::string_view)>& onBlock, BlockReadError& error,
                    size_t blockSize) {
    // Filled by read() before use: no need to zero it first.
    auto block = std::make_unique_for_overwrite<char[]>(blockSize);
    for (;;) {
        const long long filled = fillBlock(fd, block.get(), blockSize);
        if (filled < 0) {
            error.code = errno;
            return false;
        }
        if (!passOn(onBlock, block.get(), static_cast<size_t>(filled), blockSize)) return true;
    }
}

// A file of several blocks is read by a thread of its own, which fills the
// next blocks while the caller works on the last one: the caller's time goes
// to its own work instead of the system's copying.
class ReadAhead {
public:
    static constexpr size_t kBlocks = 3;

    ReadAhead(int fd, size_t blockSize) : fd_(fd), blockSize_(blockSize) {
        for (Block& b : blocks_) b.data = std::make_unique_for_overwrite<char[]>(blockSize);
    }
    ~ReadAhead() { stopThread(thread_, mutex_, stop_, changed_); }
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // False when no thread could be started.
    bool start() { return startThread(thread_, [this] { loop(); }); }

    bool run(const std::function<bool(std::string_view)>& onBlock, BlockReadError& error) {
        for (size_t next = 0;; next = (next + 1) % kBlocks) {
            Block& b = blocks_[next];
            {
                std::unique_lock<std::mutex> lock(mutex_);
                changed_.wait(lock, [&] { return b.full; });
            }
            if (b.filled < 0) {
                error.code = b.error;
                return false;
            }
            if (!passOn(onBlock, b.data.get(), static_cast<size_t>(b.filled), blockSize_)) return true;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                b.full = false;
            }
            changed_.notify_all();
        }
    }

private:
    struct Block {
        std::unique_ptr<char[]> data;
        long long filled = 0;  // bytes read, -1 when the read failed
        int error = 0;
        bool full = false;     // read and not yet given back by the caller
    };

    void loop() {
        for (size_t next = 0;; next = (next + 1) % kBlocks) {
            Block& b = blocks_[next];
            {
                std::unique_lock<std::mutex> lock(mutex_);
                changed_.wait(lock, [&] { return !b.full || stop_; });
                if (stop_) return;
            }
            const long long filled = fillBlock(fd_, b.data.get(), blockSize_);
            const int code = errno;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                b.filled = filled;
                b.error = code;
                b.full = true;
            }
            changed_.notify_all();
            if (filled < 0 || static_cast<size_t>(filled) < blockSize_) return;
        }
    }

    int fd_;
    size_t blockSize_;
    Block blocks_[kBlocks];
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool stop_ = false;
};

}  // namespace

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
    if (size > static_cast<long long>(2 * blockSize)) {
        ReadAhead ahead(file.fd(), blockSize);
        if (ahead.start()) return ahead.run(onBlock, error);
    }
    return readBlocksHere(file.fd(), onBlock, error, blockSize);
}

}  // namespace brolvin
