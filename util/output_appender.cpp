#include "util/output_appender.h"

#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "util/file_io.h"

namespace brolvin {

namespace {

// Texts handed to one gathering write.
constexpr size_t kMaxParts = 1024;

// Writes all `bytes` of the parts, retrying interrupted and partial writes.
bool writeAllParts(int fd, iovec* parts, size_t count, size_t bytes) {
    while (bytes > 0) {
        ssize_t n = ::writev(fd, parts, static_cast<int>(count));
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return false;
        bytes -= static_cast<size_t>(n);
        // Skip what was written: whole parts, then the front of the next.
        size_t done = static_cast<size_t>(n);
        while (count > 0 && done >= parts->iov_len) {
            done -= parts->iov_len;
            ++parts;
            --count;
        }
        if (count > 0) {
            parts->iov_base = static_cast<char*>(parts->iov_base) + done;
            parts->iov_len -= done;
        }
    }
    return true;
}

}  // namespace

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
    ok = ::close(fd_) == 0 && ok;
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
        fd_ = ::open(fileName.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
        if (fd_ < 0) return false;
        name_ = fileName;
    }
    return true;
}

bool OutputAppender::appendGathered(const std::string_view* texts, size_t count, const std::string& fileName) {
    if (!takeGathered() || !hold(fileName) || !flush()) return false;
    std::vector<iovec> parts;
    parts.reserve(count < kMaxParts ? count : kMaxParts);
    for (size_t at = 0; at < count;) {
        parts.clear();
        size_t bytes = 0;
        for (; at < count && parts.size() < kMaxParts; ++at) {
            if (texts[at].empty()) continue;
            parts.push_back(iovec{const_cast<char*>(texts[at].data()), texts[at].size()});
            bytes += texts[at].size();
        }
        if (!writeAllParts(fd_, parts.data(), parts.size(), bytes)) return false;
    }
    return true;
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
