#include "x12parse/file_loader.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "util/file_io.h"
#include "util/platform.h"

namespace brolvin {

std::string CTL48400X(const std::string& file, long long chunkSize, Platform& platform) {
    long long length = fileSize(file);
    if (length < 0) return "";
    std::string content(static_cast<size_t>(length), ' ');
    if (length == 0) return content;
    // A non-positive chunk size means one read of the whole file.
    long long chunk = (chunkSize > 0 && chunkSize < length) ? chunkSize : length;
    int fd = ::open(file.c_str(), O_RDONLY);
    if (fd < 0) {
        platform.warningLine(fileErrorText("Cfile <ERROR> FC-Fread #", errno));
        return content;
    }
    for (long long position = 0; position < length; position += chunk) {
        size_t want = static_cast<size_t>(std::min(chunk, length - position));
        size_t done = 0;
        while (done < want) {
            ssize_t got = ::pread(fd, content.data() + position + done, want - done,
                                  static_cast<off_t>(position + done));
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) platform.warningLine(fileErrorText("Cfile <ERROR> FC-Fread #", errno));
            if (got <= 0) break;  // the rest of this chunk stays spaces
            done += static_cast<size_t>(got);
        }
    }
    ::close(fd);
    return content;
}

}  // namespace brolvin
