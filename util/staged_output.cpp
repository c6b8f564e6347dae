#include "util/staged_output.h"

#include <cerrno>
#include <filesystem>

#include "util/file_handle.h"
#include "util/file_io.h"
#include "util/os.h"

namespace brolvin {

namespace {

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
    const os::Kind kind = os::pathInfo(finalName).kind;
    if (kind != os::Kind::kMissing) {
        if (kind != os::Kind::kRegular) {
            path_ = finalName;
            return true;
        }
        if (os::isSymbolicLink(finalName)) {
            std::error_code ec;
            std::filesystem::path target = std::filesystem::canonical(os::fsPath(finalName), ec);
            if (!ec) final_ = os::utf8Path(target);
        }
    }
    size_t slash = final_.find_last_of(os::kFolderSeparators);
    std::string folder = slash == std::string::npos ? "" : final_.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? final_ : final_.substr(slash + 1);
    if (base.empty()) return false;
    // A hidden name that says what it is and whose it is; a long final name
    // is shortened so the temporary name stays within the name limit.
    std::string stem = folder + "." + base.substr(0, 180) + ".part-" + std::to_string(os::processId()) + "-";
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
    int rc = os::renameFile(temp_, final_, replace);
    Published result = outcome(rc);
    if (result == Published::kDone) temp_.clear();
    return result;
}

void StagedOutput::discard() {
    if (temp_.empty()) return;
    os::removeFile(temp_);
    temp_.clear();
    path_.clear();
}

Published moveFile(const std::string& from, const std::string& to, bool replace) {
    int rc = os::renameFile(from, to, replace);
    if (rc == 0 || errno != EXDEV) return outcome(rc);
    StagedOutput copy;
    if (!copy.begin(to) || !copyFile(from, copy.path())) return Published::kFailed;
    Published result = copy.publish(replace);
    if (result == Published::kDone && !deleteFile(from)) return Published::kFailed;
    return result;
}

}  // namespace brolvin
