#include "util/output_appender.h"

#include "util/file_io.h"
#include "util/os.h"

namespace brolvin {

OutputAppender::~OutputAppender() { close(); }

bool OutputAppender::flush() {
    if (pending_.empty()) return true;
    bool ok = fd_ >= 0 && writeAll(fd_, pending_.data(), pending_.size());
    pending_.clear();
    return ok;
}

// The texts collected elsewhere go first.
bool OutputAppender::takeGathered() {
    GatheredTexts* texts = gathered_;
    gathered_ = nullptr;
    return texts == nullptr || texts->handOver();
}

bool OutputAppender::close() {
    bool ok = takeGathered();
    ok = flush() && ok;
    if (fd_ < 0) return ok;
    ok = os::closeFile(fd_) && ok;
    fd_ = -1;
    name_.clear();
    return ok;
}

bool OutputAppender::fileAvailable(const std::string& fileName) const {
    return (fd_ >= 0 && fileName == name_) || fileExists(fileName);
}

// Holds `fileName` open, closing another file held; false when it cannot.
bool OutputAppender::hold(const std::string& fileName) {
    if (fd_ >= 0 && fileName != name_ && !close()) return false;
    if (fd_ < 0) {
        if (!fileExists(fileName)) return false;
        fd_ = os::openFile(fileName, O_WRONLY | O_APPEND);
        if (fd_ < 0) return false;
        name_ = fileName;
    }
    return true;
}

bool OutputAppender::appendGathered(const std::string_view* texts, size_t count, const std::string& fileName) {
    const int fd = heldFile(fileName);
    return fd >= 0 && os::writeTexts(fd, texts, count);
}

int OutputAppender::heldFile(const std::string& fileName) {
    if (!takeGathered() || !hold(fileName) || !flush()) return -1;
    return fd_;
}

bool OutputAppender::append(std::string_view text, const std::string& fileName) {
    if (!takeGathered() || !hold(fileName)) return false;
    if (batchBytes_ == 0) return writeAll(fd_, text.data(), text.size());
    // A text that would overflow the batch goes out after what is collected,
    // so no text is ever divided between two writes.
    if (!pending_.empty() && pending_.size() + text.size() > batchBytes_ && !flush()) return false;
    if (text.size() >= batchBytes_) return writeAll(fd_, text.data(), text.size());
    pending_.append(text);
    return true;
}

}  // namespace brolvin
