#include "core/isa_reader.h"

#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <memory>

#include "util/file_blocks.h"
#include "util/file_handle.h"
#include "util/file_io.h"
#include "util/platform.h"
#include "util/text.h"

namespace brolvin {

namespace {

// Bytes of the header read for the separator walk; a padded header has 106.
constexpr size_t kHeaderWindow = 512;

char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

ssize_t readSome(int fd, char* buf, size_t n) {
    for (;;) {
        ssize_t got = ::read(fd, buf, n);
        if (got >= 0 || errno != EINTR) return got;
    }
}

}  // namespace

long long isaOffset(const std::string& file, Platform& platform) {
    // The last two bytes of the previous block carry a match across the
    // block boundary; they start as spaces, which never match.
    char prev2 = ' ', prev1 = ' ';
    long long offset = 0;  // file offset of the block's first byte
    long long result = 0;
    BlockReadError error;
    readFileBlocks(
        file,
        [&](std::string_view block) {
            for (size_t i = 0; i < block.size(); ++i) {
                char c = upper(block[i]);
                if (c == 'A' && prev1 == 'S' && prev2 == 'I') {
                    // Window ends at offset + i; the "I" stands two bytes before.
                    result = offset + static_cast<long long>(i) - 3;
                    return false;
                }
                prev2 = prev1;
                prev1 = c;
            }
            offset += static_cast<long long>(block.size());
            return true;
        },
        error);
    if (error.atOpen)
        platform.warningLine(fileErrorText("<ERROR> ISA Check FC-Open #", error.code));
    else if (error.code != 0)
        platform.warningLine(fileErrorText("Cfile <ERROR> FC-Fread #", error.code));
    return result;
}

std::string isaHeaderByte(const std::string& file, int mode, long long headerOffset, Platform& platform) {
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
    FileHandle handle(file, O_RDONLY);
    if (!handle.valid()) {
        platform.warningLine(fileErrorText("Cfile <ERROR> FC-Open #", errno) + " " + file);
        return result;
    }
    const int fd = handle.fd();
    off_t length = ::lseek(fd, 0, SEEK_END);
    if (length < 0) platform.warningLine(fileErrorText("Cfile <ERROR> FC-Fmax #", errno));
    if (::lseek(fd, 0, SEEK_SET) < 0) platform.warningLine(fileErrorText("Cfile <ERROR> FC-Fmin #", errno));
    if (length > 0 && position >= 0) {
        if (::lseek(fd, static_cast<off_t>(position), SEEK_SET) < 0) {
            platform.warningLine(fileErrorText("Cfile <ERROR> FC-Fseek Loop #", errno));
        } else {
            char c;
            ssize_t got = readSome(fd, &c, 1);
            if (got < 0)
                platform.warningLine(fileErrorText("Cfile <ERROR> FC-Fread #", errno));
            else if (got == 1)
                result[0] = c;
        }
    }
    return result;
}

std::optional<Delimiters> delimitersByWalk(std::string_view header) {
    if (header.size() < 4 || !beginsWithNoCase(header, "ISA")) return std::nullopt;
    const char separator = header[3];
    const unsigned char u = static_cast<unsigned char>(separator);
    if (std::isalnum(u) || separator == ' ' || u < 0x20) return std::nullopt;
    int seen = 0;
    for (size_t i = 3; i < header.size(); ++i) {
        if (header[i] != separator || ++seen < 16) continue;
        // ISA16 follows the sixteenth separator, the terminator follows ISA16.
        if (i + 2 >= header.size()) return std::nullopt;
        Delimiters d;
        d.elementSeparator = separator;
        d.subElementSeparator = header[i + 1];
        d.terminator = header[i + 2];
        return d;
    }
    return std::nullopt;
}

namespace {

// A header whose elements are not padded to their widths has its delimiters
// elsewhere than the fixed offsets; walking its separators finds them, and
// finds the same ones in a padded header.
void takeWalkedDelimiters(Delimiters& d, std::string_view header) {
    if (std::optional<Delimiters> walked = delimitersByWalk(header)) {
        d.terminator = walked->terminator;
        d.elementSeparator = walked->elementSeparator;
        d.subElementSeparator = walked->subElementSeparator;
    }
}

// The same reading through separate opens of the file, for a file that
// cannot be opened or read: each step then reports its own failure.
Delimiters delimitersByPieces(const std::string& file, Platform& platform) {
    Delimiters d;
    d.headerOffset = isaOffset(file, platform) + 1;
    d.terminator = isaHeaderByte(file, 1, d.headerOffset, platform)[0];
    d.elementSeparator = isaHeaderByte(file, 2, d.headerOffset, platform)[0];
    d.subElementSeparator = isaHeaderByte(file, 3, d.headerOffset, platform)[0];
    std::string header(kHeaderWindow, '\0');
    FileHandle handle(file, O_RDONLY);
    if (!handle.valid()) return d;
    long long got = os::readAt(handle.fd(), header.data(), header.size(), static_cast<long long>(d.headerOffset));
    header.resize(got > 0 ? static_cast<size_t>(got) : 0);
    takeWalkedDelimiters(d, header);
    return d;
}

}  // namespace

namespace {

// readDelimiters through an open file; false on a read error.
bool delimitersOfOpenFile(int fd, Delimiters& d) {
    // The first "ISA" (any case), read through the one open file.
    constexpr size_t kBlock = 64 * 1024;
    auto block = std::make_unique_for_overwrite<char[]>(kBlock);
    char prev2 = ' ', prev1 = ' ';
    long long offset = 0;
    long long isa = -1;  // position of the "I"
    while (isa < 0) {
        ssize_t got = readSome(fd, block.get(), kBlock);
        if (got < 0) return false;
        if (got == 0) break;
        for (ssize_t i = 0; i < got && isa < 0; ++i) {
            char c = upper(block[static_cast<size_t>(i)]);
            if (c == 'A' && prev1 == 'S' && prev2 == 'I') isa = offset + i - 2;
            prev2 = prev1;
            prev1 = c;
        }
        offset += got;
    }
    d = Delimiters{};
    d.headerOffset = isa < 0 ? 1 : isa;  // isaOffset + 1, which is 0 without an ISA
    // One read of the header serves the fixed offsets and the walk; a byte
    // past the end of the file reads as a space.
    const long long got = os::readAt(fd, block.get(), kHeaderWindow, d.headerOffset);
    const std::string_view header(block.get(), got > 0 ? static_cast<size_t>(got) : 0);
    auto byteAt = [&](size_t at) { return at < header.size() ? header[at] : ' '; };
    d.terminator = byteAt(105);
    d.elementSeparator = byteAt(103);
    d.subElementSeparator = byteAt(104);
    takeWalkedDelimiters(d, header);
    return true;
}

}  // namespace

Delimiters readDelimiters(const std::string& file, Platform& platform) {
    FileHandle handle(file, O_RDONLY);
    Delimiters d;
    if (!handle.valid() || !delimitersOfOpenFile(handle.fd(), d)) return delimitersByPieces(file, platform);
    return d;
}

std::optional<SourceHead> readSourceHead(const std::string& file, bool (*unreadable)(std::string_view start)) {
    FileHandle handle(file, O_RDONLY);
    if (!handle.valid()) return std::nullopt;
    SourceHead head;
    head.start.resize(kSourceHeadBytes);
    size_t filled = 0;
    while (filled < kSourceHeadBytes) {
        const long long got = os::readAt(handle.fd(), head.start.data() + filled, kSourceHeadBytes - filled,
                                         static_cast<long long>(filled));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return std::nullopt;
        if (got == 0) break;
        filled += static_cast<size_t>(got);
    }
    head.start.resize(filled);
    if (unreadable && unreadable(head.start)) return head;
    if (!delimitersOfOpenFile(handle.fd(), head.delimiters)) return std::nullopt;
    return head;
}

}  // namespace brolvin
