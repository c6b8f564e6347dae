#include "util/file_io.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "util/file_blocks.h"
#include "util/file_handle.h"
#include "util/text.h"

namespace brolvin {

bool fileExists(const std::string& path) {
    return os::pathInfo(path).kind == os::Kind::kRegular;
}

bool folderExists(const std::string& path) {
    return os::pathInfo(path).kind == os::Kind::kFolder;
}

std::string inFolder(const std::string& folder, const std::string& name) {
    if (!folder.empty() && std::string_view(os::kFolderSeparators).find(folder.back()) != std::string_view::npos)
        return folder + name;
    return folder + os::kNativeSeparator + name;
}

long long fileSize(const std::string& path) {
    os::PathInfo info = os::pathInfo(path);
    return info.kind == os::Kind::kRegular ? info.size : -1;
}

bool readWholeFile(const std::string& path, std::string& out, bool dropEofMark) {
    out.clear();
    if (!fileExists(path)) return false;
    const long long size = fileSize(path);
    if (size > 0) out.reserve(static_cast<size_t>(size));
    BlockReadError error;
    bool ok = readFileBlocks(
        path,
        [&](std::string_view block) {
            out.append(block);
            return true;
        },
        error);
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
    FileHandle file(path, O_WRONLY | O_CREAT | O_TRUNC);
    if (!file.valid()) return false;
    bool ok = writeAll(file.fd(), text.data(), text.size());
    return file.close() && ok;
}

bool writeLogFile(const std::string& path, const std::string& text) {
    // The text and its mark go out one after the other: a large log is not copied.
    if (path.empty()) return false;
    FileHandle file(path, O_WRONLY | O_CREAT | O_TRUNC);
    if (!file.valid()) return false;
    const char mark = kEofMark;
    bool ok = writeAll(file.fd(), text.data(), text.size()) && writeAll(file.fd(), &mark, 1);
    return file.close() && ok;
}

bool deleteFile(const std::string& path) {
    return !path.empty() && os::removeFile(path);
}

bool copyFile(const std::string& from, const std::string& to) {
    // Copied in blocks, so a file of any size costs one block of memory.
    if (!fileExists(from) || to.empty() || !FileHandle(from, O_RDONLY).valid()) return false;
    FileHandle out(to, O_WRONLY | O_CREAT | O_TRUNC);
    if (!out.valid()) return false;
    bool written = true;
    BlockReadError error;
    bool read = readFileBlocks(
        from,
        [&](std::string_view block) {
            written = writeAll(out.fd(), block.data(), block.size());
            return written;
        },
        error);
    return out.close() && read && written;
}

std::string fileErrorText(const std::string& prefix, int code) {
    return prefix + rightAlign(code, 2);
}

}  // namespace brolvin
