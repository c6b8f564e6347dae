// Locating the ISA header of a source file and reading its three delimiters
// from their fixed offsets behind it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace brolvin {

class Platform;

// CTL39400AJ: offset of the first ISA in a file, minus one.
// Offset of the first "ISA" (any letter case) in the file, minus one: -1 when
// the file begins with it; 0 when the file is missing, unreadable or holds
// none. Callers add one to get the header offset.
long long isaOffset(const std::string& file, Platform& platform);

// CTL39400J: one delimiter byte behind the ISA header.
// The one byte at a fixed position of the file, as a one-character text:
// mode 1 header offset + 105 (segment terminator), 2 header offset + 103
// (element separator), 3 header offset + 104 (sub-element separator), 101 to
// 103 the first to third byte of the file. " " when the file is missing,
// empty or too short, or the mode is unknown.
std::string isaHeaderByte(const std::string& file, int mode, long long headerOffset, Platform& platform);

// The delimiters of a source as every caller reads them: header offset
// (isaOffset + 1), then modes 1, 2 and 3; where walking the header's sixteen
// element separators finds ISA16 and the byte after it, those win, so a
// header not padded to its fixed widths reads right.
struct Delimiters {
    long long headerOffset = 0;
    char terminator = '~';
    char elementSeparator = '*';
    char subElementSeparator = ':';
};
Delimiters readDelimiters(const std::string& file, Platform& platform);

// The start of a source and its delimiters, read through one open of the
// file, so the checks and the detection before a conversion need not each
// open it again.
inline constexpr size_t kSourceHeadBytes = 4096;
struct SourceHead {
    std::string start;      // the file's first bytes, up to kSourceHeadBytes
    Delimiters delimiters;  // as readDelimiters reads them
};
// None when the file cannot be opened or read; readDelimiters and the other
// readers then report why. When `unreadable` says the start is no text the
// program reads (UTF-16), the delimiters are left at their defaults rather
// than searched for through the whole file.
std::optional<SourceHead> readSourceHead(const std::string& file, bool (*unreadable)(std::string_view start));

// The delimiters of a header text that begins with "ISA" (any case): the
// byte after "ISA" is the element separator, ISA16 follows the sixteenth one
// and the terminator follows ISA16. None when the text is too short or the
// byte after "ISA" is a letter, digit, space or control byte.
std::optional<Delimiters> delimitersByWalk(std::string_view header);

}  // namespace brolvin
