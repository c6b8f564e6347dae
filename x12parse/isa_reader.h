// Locating the ISA header of a source file and reading its three delimiters
// from their fixed offsets behind it.
#pragma once

#include <string>

namespace brolvin {

class Platform;

// Offset of the first "ISA" (any letter case) in the file, minus one: -1 when
// the file begins with it; 0 when the file is missing, unreadable or holds
// none. Callers add one to get the header offset.
long long CTL39400AJ(const std::string& file, Platform& platform);

// The one byte at a fixed position of the file, as a one-character text:
// mode 1 header offset + 105 (segment terminator), 2 header offset + 103
// (element separator), 3 header offset + 104 (sub-element separator), 101 to
// 103 the first to third byte of the file. " " when the file is missing,
// empty or too short, or the mode is unknown.
std::string CTL39400J(const std::string& file, int mode, long long headerOffset, Platform& platform);

// The delimiters of a source as every caller reads them: header offset
// (CTL39400AJ + 1), then modes 1, 2 and 3.
struct Delimiters {
    long long headerOffset = 0;
    char terminator = '~';
    char elementSeparator = '*';
    char subElementSeparator = ':';
};
Delimiters readDelimiters(const std::string& file, Platform& platform);

}  // namespace brolvin
