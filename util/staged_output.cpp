#include "util/staged_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "util/file_handle.h"
#include "util/file_io.h"

namespace brolvin {

namespace {

// Renames without replacing: an existing `to` fails with EEXIST. File systems
// without the no-replace rename take a hard link instead, which fails the
// same way; without hard links either, the name is tested first.
int renameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return -1;
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return 0;
    }
    if (errno != EPERM && errno != ENOTSUP) return -1;
    struct stat st {};
    if (::lstat(to.c_str(), &st) == 0) {
        errno = EEXIST;
        return -1;
    }
    return ::rename(from.c_str(), to.c_str());
}

Published outcome(int rc) {
    if (rc == 0) return Published::kDone;
    return errno == EEXIST ? Published::kExists : Published::kFailed;
}

}  // namespace

bool StagedOutput::begin(const std::string& finalName) {
    discard();
    final_ = finalName;
    path_.clear();
    if (finalName.empty()) return false;
    struct stat st {};
    if (::stat(finalName.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) {
            path_ = finalName;
            return true;
        }
        struct stat link {};
        if (::lstat(finalName.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
            std::error_code ec;
            std::filesystem::path target = std::filesystem::canonical(finalName, ec);
            if (!ec) final_ = target.string();
        }
    }
    size_t slash = final_.find_last_of('/');
    std::string folder = slash == std::string::npos ? "" : final_.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? final_ : final_.substr(slash + 1);
    if (base.empty()) return false;
    // A hidden name that says what it is and whose it is; a long final name
    // is shortened so the temporary name stays within the name limit.
    std::string stem = folder + "." + base.substr(0, 180) + ".part-" + std::to_string(::getpid()) + "-";
    for (int attempt = 0; attempt < 1000; ++attempt) {
        std::string name = stem + std::to_string(attempt);
        if (FileHandle(name, O_WRONLY | O_CREAT | O_EXCL).valid()) {
            temp_ = path_ = name;
            return true;
        }
        if (errno != EEXIST) return false;
    }
    return false;
}

Published StagedOutput::publish(bool replace) {
    if (temp_.empty()) return path_.empty() ? Published::kFailed : Published::kDone;
    int rc = replace ? ::rename(temp_.c_str(), final_.c_str()) : renameNoReplace(temp_, final_);
    Published result = outcome(rc);
    if (result == Published::kDone) temp_.clear();
    return result;
}

void StagedOutput::discard() {
    if (temp_.empty()) return;
    ::unlink(temp_.c_str());
    temp_.clear();
    path_.clear();
}

Published moveFile(const std::string& from, const std::string& to, bool replace) {
    int rc = replace ? ::rename(from.c_str(), to.c_str()) : renameNoReplace(from, to);
    if (rc == 0 || errno != EXDEV) return outcome(rc);
    StagedOutput copy;
    if (!copy.begin(to) || !copyFile(from, copy.path())) return Published::kFailed;
    Published result = copy.publish(replace);
    if (result == Published::kDone && !deleteFile(from)) return Published::kFailed;
    return result;
}

}  // namespace brolvin
