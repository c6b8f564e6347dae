#include "util/locked_append.h"

#include <cerrno>
#include <thread>

namespace brolvin {

namespace {

// Runs a positioned read or write (`step`) until all `size` bytes are done,
// retrying interrupted calls; false on failure or end of file.
template <typename Byte, typename Step>
bool allAt(int fd, Byte* data, size_t size, long long at, Step step) {
    while (size > 0) {
        long long n = step(fd, data, size, at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
        at += n;
    }
    return true;
}

bool preadAll(int fd, char* data, size_t size, long long at) { return allAt(fd, data, size, at, os::readAt); }

bool pwriteAll(int fd, const char* data, size_t size, long long at) {
    return allAt(fd, data, size, at, os::writeAt);
}

}  // namespace

LockedAppend::Opened LockedAppend::open(const std::string& path, std::chrono::milliseconds wait) {
    release();
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        FileHandle file(path, O_RDWR);
        if (!file.valid()) return errno == ENOENT ? Opened::kMissing : Opened::kFailed;
        if (os::openFileInfo(file.fd()).kind != os::Kind::kRegular) return Opened::kFailed;
        const os::Lock lock = os::tryLockExclusive(file.fd());
        if (lock == os::Lock::kLocked) {
            // While this job waited, another may have put a new file under
            // the name; the lock must be on the file the name leads to now.
            os::FileId named, held;
            const os::PathInfo info = os::openFileInfo(file.fd());
            if (os::fileId(path, named) && os::fileId(file.fd(), held) && named == held &&
                info.kind == os::Kind::kRegular) {
                file_ = std::move(file);
                size_ = info.size;
                return Opened::kLocked;
            }
        } else if (lock == os::Lock::kFailed) {
            return Opened::kFailed;
        }
        file.close();
        if (std::chrono::steady_clock::now() >= deadline) return Opened::kBusy;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

bool LockedAppend::cut(long long length) {
    if (!file_.valid() || cutAt_ >= 0 || length < 0 || length > size_ || size_ - length > kMaxCut) return false;
    std::string bytes(static_cast<size_t>(size_ - length), '\0');
    if (!preadAll(file_.fd(), bytes.data(), bytes.size(), length)) return false;
    if (!os::truncateFile(file_.fd(), length)) return false;
    cutAt_ = length;
    cutBytes_ = std::move(bytes);
    return true;
}

bool LockedAppend::restore() {
    if (!file_.valid()) return false;
    const long long base = cutAt_ >= 0 ? cutAt_ : size_;
    if (!os::truncateFile(file_.fd(), base)) return false;
    return pwriteAll(file_.fd(), cutBytes_.data(), cutBytes_.size(), base);
}

void LockedAppend::release() {
    file_.close();  // closing the only descriptor drops the lock
    size_ = 0;
    cutAt_ = -1;
    cutBytes_.clear();
}

}  // namespace brolvin
