// What only some systems let a test do: mount a small disk, take read
// permission away, limit the size of files. Where the system lacks it the
// call answers false and the test skips with the reason.
#pragma once

#include <string>

namespace brolvin::test {

// True for the Linux build, where the tests also reach the Linux ODBC
// drivers and name files with any bytes.
bool linuxSystem();

// A tmpfs of `size` bytes on `folder` (needs root on Linux; never on Windows).
bool mountSmallDisk(const std::string& folder, long long size);
void unmountDisk(const std::string& folder);
// A device every write to fails with "no space" ("/dev/full"), or "".
std::string fullDevice();
// Takes every permission away from the file, so even reading fails (not for
// root, not on Windows).
bool makeUnreadable(const std::string& path);
void makeReadable(const std::string& path);

// Children started from now on get the system's own answer to a write
// beyond the file-size limit (on Linux a signal that ends a program that
// does not ignore it), not this process's.
void defaultFileSizeSignal();

// While it lives, files this process writes cannot grow beyond `bytes`:
// such writes fail instead of ending the process.
class FileSizeLimit {
public:
    explicit FileSizeLimit(long long bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    bool active() const { return active_; }

private:
    bool active_ = false;
    bool saved_ = false;
    unsigned long long savedCurrent_ = 0;
    void (*savedHandler_)(int) = nullptr;
};

}  // namespace brolvin::test
