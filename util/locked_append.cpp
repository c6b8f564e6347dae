#include "util/locked_append.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

namespace brolvin {

namespace {

bool preadAll(int fd, char* data, size_t size, off_t at) {
    while (size > 0) {
        ssize_t n = ::pread(fd, data, size, at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
        at += n;
    }
    return true;
}

bool pwriteAll(int fd, const char* data, size_t size, off_t at) {
    while (size > 0) {
        ssize_t n = ::pwrite(fd, data, size, at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
        at += n;
    }
    return true;
}

}  // namespace

LockedAppend::Opened LockedAppend::open(const std::string& path, std::chrono::milliseconds wait) {
    release();
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        FileHandle file(path, O_RDWR);
        if (!file.valid()) return errno == ENOENT ? Opened::kMissing : Opened::kFailed;
        struct stat held {};
        if (::fstat(file.fd(), &held) != 0 || !S_ISREG(held.st_mode)) return Opened::kFailed;
        if (::flock(file.fd(), LOCK_EX | LOCK_NB) == 0) {
            // While this job waited, another may have put a new file under
            // the name; the lock must be on the file the name leads to now.
            struct stat named {};
            if (::stat(path.c_str(), &named) == 0 && named.st_dev == held.st_dev &&
                named.st_ino == held.st_ino && ::fstat(file.fd(), &held) == 0) {
                file_ = std::move(file);
                size_ = static_cast<long long>(held.st_size);
                return Opened::kLocked;
            }
        } else if (errno != EWOULDBLOCK && errno != EINTR) {
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
    if (!preadAll(file_.fd(), bytes.data(), bytes.size(), static_cast<off_t>(length))) return false;
    if (::ftruncate(file_.fd(), static_cast<off_t>(length)) != 0) return false;
    cutAt_ = length;
    cutBytes_ = std::move(bytes);
    return true;
}

bool LockedAppend::restore() {
    if (!file_.valid()) return false;
    off_t base = static_cast<off_t>(cutAt_ >= 0 ? cutAt_ : size_);
    if (::ftruncate(file_.fd(), base) != 0) return false;
    return pwriteAll(file_.fd(), cutBytes_.data(), cutBytes_.size(), base);
}

void LockedAppend::release() {
    file_.close();  // closing the only descriptor drops the lock
    size_ = 0;
    cutAt_ = -1;
    cutBytes_.clear();
}

}  // namespace brolvin
