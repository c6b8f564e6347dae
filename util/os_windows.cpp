#include "util/windows_api.h"
#include <conio.h>
#include <io.h>
#include <shellapi.h>

#include <cerrno>

#include "util/os.h"

namespace brolvin::os {

const char* const kFolderSeparators = "/\\";
const char* const kNativeSeparator = "\\";

namespace {

std::wstring wide(const std::string& utf8) {
    if (utf8.empty()) return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

std::string narrow(const wchar_t* text, size_t length) {
    if (length == 0) return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), out.data(), n, nullptr, nullptr);
    return out;
}

// errno for the last system error, so callers test one set of codes.
int errnoOf(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
            return ENOENT;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return EEXIST;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_WRITE_PROTECT:
            return EACCES;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        case ERROR_NOT_SAME_DEVICE:
            return EXDEV;
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
        case ERROR_DIRECTORY:
            return EINVAL;
        case ERROR_FILENAME_EXCED_RANGE:
            return ENAMETOOLONG;
        default:
            return EIO;
    }
}

int failed() {
    errno = errnoOf(GetLastError());
    return -1;
}

HANDLE handleOf(int fd) { return reinterpret_cast<HANDLE>(_get_osfhandle(fd)); }

}  // namespace

int openFile(const std::string& path, int flags, int permissions) {
    // CreateFileW with every sharing mode, so an open file can be renamed
    // or deleted as on Linux; the handle then becomes a binary descriptor.
    DWORD access = (flags & O_RDWR) ? GENERIC_READ | GENERIC_WRITE : (flags & O_WRONLY) ? GENERIC_WRITE : GENERIC_READ;
    DWORD creation = OPEN_EXISTING;
    if ((flags & O_CREAT) && (flags & O_EXCL)) creation = CREATE_NEW;
    else if ((flags & O_CREAT) && (flags & O_TRUNC)) creation = CREATE_ALWAYS;
    else if (flags & O_CREAT) creation = OPEN_ALWAYS;
    else if (flags & O_TRUNC) creation = TRUNCATE_EXISTING;
    DWORD attributes = (flags & O_CREAT) && !(permissions & 0200) ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL;
    if (path.empty()) {
        errno = ENOENT;
        return -1;
    }
    HANDLE h = CreateFileW(wide(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, creation, attributes, nullptr);
    if (h == INVALID_HANDLE_VALUE) return failed();
    if (GetFileType(h) == FILE_TYPE_DISK && creation == OPEN_EXISTING) {
        BY_HANDLE_FILE_INFORMATION info{};
        if (GetFileInformationByHandle(h, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            CloseHandle(h);
            errno = EISDIR;
            return -1;
        }
    }
    int crtFlags = _O_BINARY | _O_NOINHERIT;
    if (flags & O_APPEND) crtFlags |= _O_APPEND;
    if (!(flags & (O_WRONLY | O_RDWR))) crtFlags |= _O_RDONLY;
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), crtFlags);
    if (fd < 0) {
        CloseHandle(h);
        errno = EMFILE;
    }
    return fd;
}

bool closeFile(int fd) { return _close(fd) == 0; }

namespace {

// ReadFile and WriteFile at an offset move the file pointer; it is put back,
// as pread and pwrite leave it.
template <typename Transfer>
long long atOffset(int fd, long long offset, Transfer transfer) {
    HANDLE h = handleOf(fd);
    if (h == INVALID_HANDLE_VALUE) {
        errno = EBADF;
        return -1;
    }
    LARGE_INTEGER zero{}, position{};
    if (!SetFilePointerEx(h, zero, &position, FILE_CURRENT)) return failed();
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(static_cast<uint64_t>(offset) & 0xFFFFFFFFu);
    at.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
    DWORD done = 0;
    BOOL ok = transfer(h, &done, &at);
    DWORD error = GetLastError();
    SetFilePointerEx(h, position, nullptr, FILE_BEGIN);
    if (!ok) {
        if (error == ERROR_HANDLE_EOF) return 0;
        errno = errnoOf(error);
        return -1;
    }
    return static_cast<long long>(done);
}

DWORD chunk(size_t size) { return size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size); }

}  // namespace

long long readAt(int fd, char* data, size_t size, long long offset) {
    return atOffset(fd, offset, [&](HANDLE h, DWORD* done, OVERLAPPED* at) {
        return ReadFile(h, data, chunk(size), done, at);
    });
}

long long writeAt(int fd, const char* data, size_t size, long long offset) {
    return atOffset(fd, offset, [&](HANDLE h, DWORD* done, OVERLAPPED* at) {
        return WriteFile(h, data, chunk(size), done, at);
    });
}

bool truncateFile(int fd, long long length) {
    HANDLE h = handleOf(fd);
    LARGE_INTEGER zero{}, position{}, end{};
    end.QuadPart = length;
    if (h == INVALID_HANDLE_VALUE || !SetFilePointerEx(h, zero, &position, FILE_CURRENT)) return false;
    bool ok = SetFilePointerEx(h, end, nullptr, FILE_BEGIN) && SetEndOfFile(h);
    SetFilePointerEx(h, position, nullptr, FILE_BEGIN);
    return ok;
}

Lock tryLockExclusive(int fd) {
    // LockFileEx locks are mandatory for the bytes they cover. One byte far
    // beyond any file's end is locked instead: other lockers are kept out,
    // reading and writing the file stay free, as with flock on Linux.
    HANDLE h = handleOf(fd);
    if (h == INVALID_HANDLE_VALUE) return Lock::kFailed;
    OVERLAPPED at{};
    at.Offset = 0xFFFFFFFEu;
    at.OffsetHigh = 0x7FFFFFFFu;
    if (LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) return Lock::kLocked;
    DWORD error = GetLastError();
    return error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING ? Lock::kBusy : Lock::kFailed;
}

namespace {

PathInfo infoOf(DWORD attributes, DWORD sizeHigh, DWORD sizeLow) {
    PathInfo info;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) info.kind = Kind::kFolder;
    else if (attributes & FILE_ATTRIBUTE_DEVICE) info.kind = Kind::kOther;
    else info.kind = Kind::kRegular;
    info.size = static_cast<long long>((static_cast<uint64_t>(sizeHigh) << 32) | sizeLow);
    return info;
}

// An open handle of what `path` leads to, for reading its attributes only.
HANDLE attributesHandle(const std::string& path) {
    return CreateFileW(wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

bool idOf(HANDLE h, FileId& id) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(h, &info)) return false;
    id = {info.dwVolumeSerialNumber, (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
    return true;
}

}  // namespace

PathInfo pathInfo(const std::string& path) {
    if (path.empty()) return {};
    HANDLE h = attributesHandle(path);
    if (h == INVALID_HANDLE_VALUE) return {};
    PathInfo info;
    BY_HANDLE_FILE_INFORMATION data{};
    if (GetFileType(h) != FILE_TYPE_DISK) info.kind = Kind::kOther;
    else if (GetFileInformationByHandle(h, &data))
        info = infoOf(data.dwFileAttributes, data.nFileSizeHigh, data.nFileSizeLow);
    CloseHandle(h);
    return info;
}

PathInfo openFileInfo(int fd) {
    HANDLE h = handleOf(fd);
    BY_HANDLE_FILE_INFORMATION data{};
    if (h == INVALID_HANDLE_VALUE) return {};
    if (GetFileType(h) != FILE_TYPE_DISK) return {Kind::kOther, 0};
    if (!GetFileInformationByHandle(h, &data)) return {};
    return infoOf(data.dwFileAttributes, data.nFileSizeHigh, data.nFileSizeLow);
}

bool isSymbolicLink(const std::string& path) {
    DWORD attributes = GetFileAttributesW(wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool fileId(const std::string& path, FileId& id) {
    if (path.empty()) return false;
    HANDLE h = attributesHandle(path);
    if (h == INVALID_HANDLE_VALUE) return false;
    bool ok = idOf(h, id);
    CloseHandle(h);
    return ok;
}

bool fileId(int fd, FileId& id) {
    HANDLE h = handleOf(fd);
    return h != INVALID_HANDLE_VALUE && idOf(h, id);
}

bool removeFile(const std::string& path) {
    if (!path.empty() && DeleteFileW(wide(path).c_str())) return true;
    failed();
    return false;
}

bool makeReadOnly(const std::string& path) {
    return SetFileAttributesW(wide(path).c_str(), FILE_ATTRIBUTE_READONLY) != 0;
}

int renameFile(const std::string& from, const std::string& to, bool replace) {
    // Without MOVEFILE_REPLACE_EXISTING an existing `to` is never replaced.
    DWORD flags = replace ? MOVEFILE_REPLACE_EXISTING : 0;
    if (MoveFileExW(wide(from).c_str(), wide(to).c_str(), flags)) return 0;
    return failed();
}

int processId() { return static_cast<int>(GetCurrentProcessId()); }

std::string executablePath() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return "";
        if (n < buffer.size()) return narrow(buffer.data(), n);
        buffer.resize(buffer.size() * 2);
    }
}

std::string currentFolder() {
    DWORD n = GetCurrentDirectoryW(0, nullptr);
    if (n == 0) return "";
    std::wstring buffer(n, L'\0');
    n = GetCurrentDirectoryW(n, buffer.data());
    return narrow(buffer.data(), n);
}

std::tm localTime(std::time_t t) {
    std::tm local{};
    localtime_s(&local, &t);
    return local;
}

std::string systemName() {
    // GetVersionEx reports an old version to programs without a manifest;
    // RtlGetVersion reports the real one.
    using RtlGetVersionCall = LONG(WINAPI*)(OSVERSIONINFOW*);
    OSVERSIONINFOW v{};
    v.dwOSVersionInfoSize = sizeof v;
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    auto call = ntdll ? reinterpret_cast<RtlGetVersionCall>(
                            reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")))
                      : nullptr;
    if (!call || call(&v) != 0) return "Windows";
    return "Windows " + std::to_string(v.dwMajorVersion) + "." + std::to_string(v.dwMinorVersion) + "." +
           std::to_string(v.dwBuildNumber) + " x64";
}

bool inputIsTerminal() {
    // _isatty also answers yes for the NUL device; only a console has a mode.
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

void readOneKey() { _getch(); }

std::vector<std::string> programArguments(int, char**) {
    // The wide command line, so arguments beyond the ANSI code page arrive
    // whole; they are passed on as UTF-8.
    std::vector<std::string> args;
    int count = 0;
    wchar_t** wideArgs = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wideArgs) return args;
    for (int i = 1; i < count; ++i) args.push_back(narrow(wideArgs[i], wcslen(wideArgs[i])));
    LocalFree(wideArgs);
    return args;
}

void keepFreedMemoryForReuse() {}

void reportWriteFaultsAsErrors() {}  // Windows sends no signal for either

std::filesystem::path fsPath(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string utf8Path(const std::filesystem::path& path) {
    std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

bool writeTexts(int fd, const std::string_view* texts, size_t count) {
    for (size_t at = 0; at < count; ++at) {
        const char* data = texts[at].data();
        size_t size = texts[at].size();
        while (size > 0) {
            const unsigned piece = size > (1u << 30) ? (1u << 30) : static_cast<unsigned>(size);
            int n = ::_write(fd, data, piece);
            if (n < 0) {
                if (errno == EINTR) continue;
                return false;
            }
            if (n == 0) return false;
            data += n;
            size -= static_cast<size_t>(n);
        }
    }
    return true;
}

void* loadLibrary(const char* name, std::string& why) {
    HMODULE module = LoadLibraryA(name);
    if (!module) why = "system error " + std::to_string(GetLastError());
    return reinterpret_cast<void*>(module);
}

void* librarySymbol(void* library, const char* symbol) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), symbol));
}

const char* odbcLibraryName() { return "odbc32.dll"; }

}  // namespace brolvin::os
