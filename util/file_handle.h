// An open file descriptor owned by one object: closed when the handle goes,
// so no early return leaves a file open.
#pragma once

#include <string>
#include <utility>

#include "util/os.h"

namespace brolvin {

class FileHandle {
public:
    FileHandle() = default;
    // Opens `path` with the flags of open(2), in binary mode and not
    // inherited by child processes; invalid() afterwards when that failed
    // (errno says why).
    FileHandle(const std::string& path, int flags, int mode = 0666) : fd_(os::openFile(path, flags, mode)) {}
    ~FileHandle() { close(); }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    FileHandle(FileHandle&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    FileHandle& operator=(FileHandle&& other) noexcept {
        if (this != &other) {
            close();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }

    bool valid() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    // Closes now; false when closing reports an error, which for a file just
    // written means its bytes may not have arrived.
    bool close() {
        if (fd_ < 0) return true;
        const bool ok = os::closeFile(fd_);
        fd_ = -1;
        return ok;
    }

private:
    int fd_ = -1;
};

}  // namespace brolvin
