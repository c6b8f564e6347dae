// The one operation through which every output file is written.
#pragma once

#include <string>

namespace brolvin {

enum OutputFileMode {
    kCreateEmpty = 1,
    kAppend = 2,
    kCreateReadOnly = 10,
    kCreateHidden = 11,
    kCreateSystem = 12,
};

// Mode 1 creates (or truncates) the file empty; the text is ignored.
// Mode 2 appends the text to an existing file and never creates a missing one.
// Modes 10, 11, 12 create the file empty like mode 1; 10 makes it read-only
// (no write permission bits); Linux has no hidden or system attribute, so 11
// and 12 give a normal file. Any other mode does nothing.
// Returns false when a create or an append failed, so the caller can report
// lost output; other modes return true.
bool CSC_0001E(const std::string& text, const std::string& fileName, int mode);

}  // namespace brolvin
