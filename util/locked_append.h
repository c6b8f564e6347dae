// Appending to an existing file, one job at a time: an exclusive lock is
// held from open to release, and an append that fails can be undone so the
// earlier content stays as it was.
#pragma once

#include <chrono>
#include <string>

#include "util/file_handle.h"

namespace brolvin {

class LockedAppend {
public:
    enum class Opened {
        kLocked,   // open and locked; the file may be appended to
        kMissing,  // no such file
        kBusy,     // another job held the lock for the whole wait
        kFailed,   // the file could not be opened or locked
    };

    LockedAppend() = default;
    ~LockedAppend() { release(); }
    LockedAppend(const LockedAppend&) = delete;
    LockedAppend& operator=(const LockedAppend&) = delete;

    // Opens the regular file `path` and takes its exclusive lock, trying
    // again until `wait` has passed. The length it has then is what
    // restore() returns to.
    Opened open(const std::string& path, std::chrono::milliseconds wait);
    int fd() const { return file_.fd(); }
    long long originalSize() const { return size_; }
    // Cuts the file back to `length`, keeping the bytes cut off so restore()
    // can write them again. Refused (false) when more than kMaxCut bytes
    // would be cut.
    bool cut(long long length);
    static constexpr long long kMaxCut = 1 << 20;
    // Puts the file back as it was when opened: appended bytes removed, cut
    // bytes written again. False when that fails.
    bool restore();
    // Unlocks and closes the file.
    void release();

private:
    FileHandle file_;
    long long size_ = 0;
    long long cutAt_ = -1;  // where cut() cut, -1 when it did not
    std::string cutBytes_;
};

}  // namespace brolvin
