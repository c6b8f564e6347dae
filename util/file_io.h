// Whole-file and small file-system operations used throughout the program.
#pragma once

#include <cstdint>
#include <string>

namespace brolvin {

class Platform;

// True when `path` names an existing regular file (false for folders).
bool fileExists(const std::string& path);
// True when `path` names an existing folder.
bool folderExists(const std::string& path);
// `folder` and `name` joined by the system's separator, none when the folder
// already ends in one.
std::string inFolder(const std::string& folder, const std::string& name);
// Size in bytes of a regular file, or -1.
long long fileSize(const std::string& path);
// Reads the whole file into `out` in large blocks. With `dropEofMark`, one
// trailing byte 0x1A is dropped. False when the file cannot be read.
bool readWholeFile(const std::string& path, std::string& out, bool dropEofMark = false);
// Replaces the file with `text` (no mark added). False on failure.
bool writeWholeFile(const std::string& path, const std::string& text);
// Replaces the file with `text` followed by one byte 0x1A, as every log is written.
bool writeLogFile(const std::string& path, const std::string& text);
bool deleteFile(const std::string& path);
// Writes all `size` bytes to the open descriptor, retrying interrupted and
// partial writes. False on the first failed write.
bool writeAll(int fd, const char* data, size_t size);
bool copyFile(const std::string& from, const std::string& to);

// The console text of a failed file step: `prefix` + error code right-aligned
// in two characters, e.g. "Cfile <ERROR> FC-Open #" + " 2".
std::string fileErrorText(const std::string& prefix, int code);

}  // namespace brolvin
