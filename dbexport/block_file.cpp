#include "dbexport/block_file.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

namespace brolvin {

bool BlockFile::open(const std::string& path, bool exclusive, int lockWaitMillis) {
    close();
    lockTimedOut_ = false;
    if (os::pathInfo(path).kind != os::Kind::kRegular) return false;
    file_ = FileHandle(path, O_RDWR);
    if (!file_.valid()) return false;
    if (!exclusive) return true;
    // Another program may hold the table for a moment: try again every few
    // milliseconds until the wait is used up.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(0, lockWaitMillis));
    for (;;) {
        const os::Lock lock = os::tryLockExclusive(file_.fd());
        if (lock == os::Lock::kLocked) return true;
        if (lock == os::Lock::kFailed) break;
        if (std::chrono::steady_clock::now() >= deadline) {
            lockTimedOut_ = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    close();
    return false;
}

bool BlockFile::create(const std::string& path) {
    close();
    file_ = FileHandle(path, O_RDWR | O_CREAT | O_TRUNC, 0644);
    return file_.valid();
}

void BlockFile::close() { file_.close(); }  // closing also drops the lock

namespace {

// Repeats a positioned read or write until all `size` bytes are through;
// false on an error or at the end of the file.
template <class Buffer, class Transfer>
bool transferAll(uint64_t offset, Buffer* p, size_t size, Transfer transfer) {
    while (size > 0) {
        long long n = transfer(p, size, static_cast<long long>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        offset += static_cast<uint64_t>(n);
        size -= static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

bool BlockFile::readAt(uint64_t offset, void* data, size_t size) const {
    return transferAll(offset, static_cast<char*>(data), size,
                       [this](char* p, size_t n, long long at) { return os::readAt(file_.fd(), p, n, at); });
}

bool BlockFile::readAt(uint64_t offset, std::string& out, size_t size) const {
    out.assign(size, '\0');
    return readAt(offset, out.data(), size);
}

bool BlockFile::writeAt(uint64_t offset, const void* data, size_t size) {
    return transferAll(offset, static_cast<const char*>(data), size,
                       [this](const char* p, size_t n, long long at) { return os::writeAt(file_.fd(), p, n, at); });
}

uint64_t BlockFile::size() const {
    if (!file_.valid()) return 0;
    return static_cast<uint64_t>(os::openFileInfo(file_.fd()).size);
}

bool BlockFile::truncate(uint64_t size) { return os::truncateFile(file_.fd(), static_cast<long long>(size)); }

}  // namespace brolvin
