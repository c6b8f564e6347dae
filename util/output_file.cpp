#include "util/output_file.h"

#include "util/file_handle.h"
#include "util/file_io.h"

namespace brolvin {

namespace {

bool createEmpty(const std::string& fileName, int permissions) {
    if (fileName.empty()) return false;
    FileHandle file(fileName, O_WRONLY | O_CREAT | O_TRUNC, permissions);
    bool ok = file.valid() && file.close();
    if (ok && permissions != 0666) ok = os::makeReadOnly(fileName);
    return ok;
}

bool appendText(const std::string& text, const std::string& fileName) {
    if (!fileExists(fileName)) return false;
    FileHandle file(fileName, O_WRONLY | O_APPEND);
    if (!file.valid()) return false;
    bool ok = writeAll(file.fd(), text.data(), text.size());
    return file.close() && ok;
}

}  // namespace

bool CSC_0001E(const std::string& text, const std::string& fileName, int mode) {
    switch (mode) {
        case kCreateEmpty:
        case kCreateHidden:
        case kCreateSystem:
            return createEmpty(fileName, 0666);
        case kCreateReadOnly:
            return createEmpty(fileName, 0444);
        case kAppend:
            return appendText(text, fileName);
        default:
            return true;
    }
}

}  // namespace brolvin
