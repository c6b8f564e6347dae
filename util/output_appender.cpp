#include "util/output_appender.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "util/file_io.h"

namespace brolvin {

OutputAppender::~OutputAppender() { close(); }

bool OutputAppender::close() {
    if (fd_ < 0) return true;
    bool ok = ::close(fd_) == 0;
    fd_ = -1;
    name_.clear();
    return ok;
}

bool OutputAppender::fileAvailable(const std::string& fileName) const {
    return (fd_ >= 0 && fileName == name_) || fileExists(fileName);
}

bool OutputAppender::append(std::string_view text, const std::string& fileName) {
    if (fd_ >= 0 && fileName != name_ && !close()) return false;
    if (fd_ < 0) {
        if (!fileExists(fileName)) return false;
        fd_ = ::open(fileName.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
        if (fd_ < 0) return false;
        name_ = fileName;
    }
    return writeAll(fd_, text.data(), text.size());
}

}  // namespace brolvin
