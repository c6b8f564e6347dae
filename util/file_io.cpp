#include "util/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "util/text.h"

namespace brolvin {

bool fileExists(const std::string& path) {
    if (path.empty()) return false;
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool folderExists(const std::string& path) {
    if (path.empty()) return false;
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

long long fileSize(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return static_cast<long long>(st.st_size);
}

bool readWholeFile(const std::string& path, std::string& out, bool dropEofMark) {
    out.clear();
    if (!fileExists(path)) return false;
    int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && st.st_size > 0) out.reserve(static_cast<size_t>(st.st_size));
    constexpr size_t kBlock = 1 << 20;
    std::string block(kBlock, '\0');
    bool ok = true;
    for (;;) {
        ssize_t n = ::read(fd, block.data(), kBlock);
        if (n < 0) {
            if (errno == EINTR) continue;
            ok = false;
            break;
        }
        if (n == 0) break;
        out.append(block.data(), static_cast<size_t>(n));
    }
    ::close(fd);
    if (dropEofMark && !out.empty() && out.back() == kEofMark) out.pop_back();
    return ok;
}

bool writeAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool writeWholeFile(const std::string& path, const std::string& text) {
    if (path.empty()) return false;
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (fd < 0) return false;
    bool ok = writeAll(fd, text.data(), text.size());
    if (::close(fd) != 0) ok = false;
    return ok;
}

bool writeLogFile(const std::string& path, const std::string& text) {
    // The text and its mark go out one after the other: a large log is not copied.
    if (path.empty()) return false;
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (fd < 0) return false;
    const char mark = kEofMark;
    bool ok = writeAll(fd, text.data(), text.size()) && writeAll(fd, &mark, 1);
    if (::close(fd) != 0) ok = false;
    return ok;
}

bool deleteFile(const std::string& path) {
    return !path.empty() && ::unlink(path.c_str()) == 0;
}

bool copyFile(const std::string& from, const std::string& to) {
    // Copied in blocks, so a file of any size costs one block of memory.
    if (!fileExists(from) || to.empty()) return false;
    int in = ::open(from.c_str(), O_RDONLY);
    if (in < 0) return false;
    int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (out < 0) {
        ::close(in);
        return false;
    }
    constexpr size_t kBlock = 1 << 20;
    std::string block(kBlock, '\0');
    bool ok = true;
    for (;;) {
        ssize_t n = ::read(in, block.data(), kBlock);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) ok = false;
        if (n <= 0) break;
        if (!writeAll(out, block.data(), static_cast<size_t>(n))) {
            ok = false;
            break;
        }
    }
    ::close(in);
    if (::close(out) != 0) ok = false;
    return ok;
}

std::string fileErrorText(const std::string& prefix, int code) {
    return prefix + rightAlign(code, 2);
}

}  // namespace brolvin
