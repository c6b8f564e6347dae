// The operating system's file, process and console calls behind one set of
// functions, so the rest of the program is the same on Linux and Windows.
// Paths are UTF-8 text on both systems; on Windows they reach the wide
// (UTF-16) calls, so names beyond the ANSI code page work. Files are always
// opened in binary mode and are not inherited by child processes.
#pragma once

#include <fcntl.h>

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace brolvin::os {

// The characters that end a folder part of a path: "/" on Linux, "/" and
// "\" on Windows.
extern const char* const kFolderSeparators;
// The separator put between a folder and a name when none is given: "/" on
// Linux, "\" on Windows.
extern const char* const kNativeSeparator;

// Opens `path` with the flags of open(2) (O_RDONLY, O_CREAT, ...); -1 with
// errno set when that fails. Files created without write permission in
// `permissions` are read-only.
int openFile(const std::string& path, int flags, int permissions = 0666);
bool closeFile(int fd);
// Reads or writes at `offset` without moving the descriptor's position;
// the count done, or -1 with errno set.
long long readAt(int fd, char* data, size_t size, long long offset);
long long writeAt(int fd, const char* data, size_t size, long long offset);
bool truncateFile(int fd, long long length);
// Writes every text in order at the file's position, retrying interrupted
// and partial writes; one gathering call for many texts where the system has
// one. False on failure.
bool writeTexts(int fd, const std::string_view* texts, size_t count);

enum class Lock { kLocked, kBusy, kFailed };
// Takes the exclusive lock of the open file without waiting. The lock is
// advisory on both systems: it keeps out other lockers, not readers or
// writers, and closing the descriptor drops it.
Lock tryLockExclusive(int fd);

enum class Kind { kMissing, kRegular, kFolder, kOther };
struct PathInfo {
    Kind kind = Kind::kMissing;
    long long size = 0;
};
// What `path` names, links followed.
PathInfo pathInfo(const std::string& path);
// The open file's kind and size.
PathInfo openFileInfo(int fd);
bool isSymbolicLink(const std::string& path);

// Identity of a file on disk: device and inode, or volume serial number and
// file index.
struct FileId {
    uint64_t volume = 0;
    uint64_t index = 0;
    bool operator==(const FileId&) const = default;
};
bool fileId(const std::string& path, FileId& id);
bool fileId(int fd, FileId& id);

bool removeFile(const std::string& path);
// Makes the file read-only for everyone (mode 0444, or the read-only attribute).
bool makeReadOnly(const std::string& path);
// Renames in one step; -1 with errno EEXIST when `replace` is false and
// `to` exists, EXDEV when the two are on different volumes.
int renameFile(const std::string& from, const std::string& to, bool replace);

int processId();
// Loads a shared library by file name: its handle, or null with `why` set.
void* loadLibrary(const char* name, std::string& why);
// The address of `symbol` in a loaded library, null when it has none.
void* librarySymbol(void* library, const char* symbol);
// The file name of the system's ODBC driver manager.
const char* odbcLibraryName();
// The running program's own file, "" when unknown.
std::string executablePath();
// The current folder in full ("/home/a", "C:\Users\a"), "" when unknown.
std::string currentFolder();
std::tm localTime(std::time_t t);
// The system's name and version, e.g. "Linux 6.1.0 x86_64".
std::string systemName();

bool inputIsTerminal();
// One key from the terminal, read without echo and without waiting for a line end.
void readOneKey();

// The program's arguments (without the program name) as UTF-8 text.
std::vector<std::string> programArguments(int argc, char** argv);

// Called once at start: memory the program frees is kept for its next
// allocations instead of being handed back to the system and faulted in
// afresh (a page fault costs more than the work of a small conversion).
void keepFreedMemoryForReuse();

// Called once at start: a write beyond the file-size limit (ulimit -f) or
// into a closed pipe fails like any other write, which the program reports
// and cleans up after, instead of ending the program by a signal that
// leaves its temporary output behind and no run log.
void reportWriteFaultsAsErrors();

// std::filesystem paths to and from UTF-8 text.
std::filesystem::path fsPath(const std::string& utf8);
std::string utf8Path(const std::filesystem::path& path);

}  // namespace brolvin::os
