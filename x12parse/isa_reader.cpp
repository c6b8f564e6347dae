#include "x12parse/isa_reader.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "util/file_io.h"
#include "util/platform.h"

namespace brolvin {

namespace {

constexpr size_t kBlock = 1 << 20;

char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

ssize_t readSome(int fd, char* buf, size_t n) {
    for (;;) {
        ssize_t got = ::read(fd, buf, n);
        if (got >= 0 || errno != EINTR) return got;
    }
}

}  // namespace

long long CTL39400AJ(const std::string& file, Platform& platform) {
    int fd = ::open(file.c_str(), O_RDONLY);
    if (fd < 0) {
        platform.consoleLine(fileErrorText("<ERROR> ISA Check FC-Open #", errno));
        return 0;
    }
    // The last two bytes of the previous block carry a match across the
    // block boundary; they start as spaces, which never match.
    char prev2 = ' ', prev1 = ' ';
    long long offset = 0;  // file offset of buf[0]
    std::vector<char> buf(kBlock);
    long long result = 0;
    for (;;) {
        ssize_t got = readSome(fd, buf.data(), buf.size());
        if (got < 0) {
            platform.consoleLine(fileErrorText("Cfile <ERROR> FC-Fread #", errno));
            break;
        }
        if (got == 0) break;
        bool found = false;
        for (ssize_t i = 0; i < got; ++i) {
            char c = upper(buf[static_cast<size_t>(i)]);
            if (c == 'A' && prev1 == 'S' && prev2 == 'I') {
                // Window ends at offset + i; the "I" stands two bytes before.
                result = offset + i - 3;
                found = true;
                break;
            }
            prev2 = prev1;
            prev1 = c;
        }
        if (found) break;
        offset += got;
    }
    ::close(fd);
    return result;
}

std::string CTL39400J(const std::string& file, int mode, long long headerOffset, Platform& platform) {
    std::string result = " ";
    if (!fileExists(file)) return result;
    long long position;
    switch (mode) {
        case 1: position = headerOffset + 105; break;
        case 2: position = headerOffset + 103; break;
        case 3: position = headerOffset + 104; break;
        case 101: position = 0; break;
        case 102: position = 1; break;
        case 103: position = 2; break;
        default: return result;
    }
    int fd = ::open(file.c_str(), O_RDONLY);
    if (fd < 0) {
        platform.consoleLine(fileErrorText("Cfile <ERROR> FC-Open #", errno) + " " + file);
        return result;
    }
    off_t length = ::lseek(fd, 0, SEEK_END);
    if (length < 0) platform.consoleLine(fileErrorText("Cfile <ERROR> FC-Fmax #", errno));
    if (::lseek(fd, 0, SEEK_SET) < 0) platform.consoleLine(fileErrorText("Cfile <ERROR> FC-Fmin #", errno));
    if (length > 0 && position >= 0) {
        if (::lseek(fd, static_cast<off_t>(position), SEEK_SET) < 0) {
            platform.consoleLine(fileErrorText("Cfile <ERROR> FC-Fseek Loop #", errno));
        } else {
            char c;
            ssize_t got = readSome(fd, &c, 1);
            if (got < 0)
                platform.consoleLine(fileErrorText("Cfile <ERROR> FC-Fread #", errno));
            else if (got == 1)
                result[0] = c;
        }
    }
    ::close(fd);
    return result;
}

Delimiters readDelimiters(const std::string& file, Platform& platform) {
    Delimiters d;
    d.headerOffset = CTL39400AJ(file, platform) + 1;
    d.terminator = CTL39400J(file, 1, d.headerOffset, platform)[0];
    d.elementSeparator = CTL39400J(file, 2, d.headerOffset, platform)[0];
    d.subElementSeparator = CTL39400J(file, 3, d.headerOffset, platform)[0];
    return d;
}

}  // namespace brolvin
