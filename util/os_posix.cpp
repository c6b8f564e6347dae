#include <dlfcn.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/uio.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "util/os.h"

namespace brolvin::os {

const char* const kFolderSeparators = "/";
const char* const kNativeSeparator = "/";

int openFile(const std::string& path, int flags, int permissions) {
    return ::open(path.c_str(), flags | O_CLOEXEC, static_cast<mode_t>(permissions));
}

bool closeFile(int fd) { return ::close(fd) == 0; }

long long readAt(int fd, char* data, size_t size, long long offset) {
    return ::pread(fd, data, size, static_cast<off_t>(offset));
}

long long writeAt(int fd, const char* data, size_t size, long long offset) {
    return ::pwrite(fd, data, size, static_cast<off_t>(offset));
}

bool truncateFile(int fd, long long length) { return ::ftruncate(fd, static_cast<off_t>(length)) == 0; }

Lock tryLockExclusive(int fd) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return Lock::kLocked;
    return errno == EWOULDBLOCK || errno == EINTR ? Lock::kBusy : Lock::kFailed;
}

namespace {

PathInfo infoOf(const struct stat& st) {
    PathInfo info;
    info.kind = S_ISREG(st.st_mode) ? Kind::kRegular : S_ISDIR(st.st_mode) ? Kind::kFolder : Kind::kOther;
    info.size = static_cast<long long>(st.st_size);
    return info;
}

}  // namespace

PathInfo pathInfo(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) return {};
    return infoOf(st);
}

PathInfo openFileInfo(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return {};
    return infoOf(st);
}

bool isSymbolicLink(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool fileId(const std::string& path, FileId& id) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) return false;
    id = {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
    return true;
}

bool fileId(int fd, FileId& id) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return false;
    id = {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
    return true;
}

bool removeFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool makeReadOnly(const std::string& path) { return ::chmod(path.c_str(), 0444) == 0; }

int renameFile(const std::string& from, const std::string& to, bool replace) {
    if (replace) return ::rename(from.c_str(), to.c_str());
    // Without replacing: an existing `to` fails with EEXIST. File systems
    // without the no-replace rename take a hard link instead, which fails the
    // same way; without hard links either, the name is tested first.
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

int processId() { return static_cast<int>(::getpid()); }

std::string executablePath() {
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? "" : exe.string();
}

std::string currentFolder() {
    std::error_code ec;
    std::string cwd = std::filesystem::current_path(ec).string();
    return ec ? "" : cwd;
}

std::tm localTime(std::time_t t) {
    std::tm local{};
    localtime_r(&t, &local);
    return local;
}

std::string systemName() {
    struct utsname u {};
    if (uname(&u) != 0) return "Linux";
    return std::string(u.sysname) + " " + u.release + " " + u.machine;
}

bool inputIsTerminal() { return isatty(STDIN_FILENO) == 1; }

void readOneKey() {
    termios saved{};
    bool raw = tcgetattr(STDIN_FILENO, &saved) == 0;
    if (raw) {
        termios t = saved;
        t.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
        t.c_cc[VMIN] = 1;
        t.c_cc[VTIME] = 0;
        tcsetattr(STDIN_FILENO, TCSANOW, &t);
    }
    char c = 0;
    [[maybe_unused]] ssize_t n = read(STDIN_FILENO, &c, 1);
    if (raw) tcsetattr(STDIN_FILENO, TCSANOW, &saved);
}

std::vector<std::string> programArguments(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    return args;
}

void reportWriteFaultsAsErrors() {
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
}

void keepFreedMemoryForReuse() {
#if defined(__GLIBC__)
    // Blocks up to 32 MB come from the heap rather than mappings of their
    // own, and the heap's free top is returned only beyond 64 MB.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 64 << 20);
#if defined(__linux__) && defined(MADV_HUGEPAGE) && !defined(__SANITIZE_ADDRESS__)
    // The set-up of a conversion touches about a megabyte of heap; in 4 KB
    // pages that is a few hundred page faults, more than the conversion of a
    // small file costs. The heap's next 16 MB (the set-up and the output
    // batches of a large conversion), from a 2 MB boundary on, are marked for
    // huge pages; the heap below that boundary is passed over with one block
    // that is neither touched nor freed.
    constexpr uintptr_t kHuge = uintptr_t{2} << 20;
    constexpr size_t kHugeRegion = size_t{16} << 20;
    void* probe = malloc(64);
    const uintptr_t at = reinterpret_cast<uintptr_t>(probe);
    const uintptr_t boundary = (at + kHuge - 1) & ~(kHuge - 1);
    free(probe);
    // Only a heap grown by brk (the probe lies just below the break) is
    // arranged; a sanitizer's allocator, for one, keeps its blocks elsewhere.
    const uintptr_t heapEnd = reinterpret_cast<uintptr_t>(sbrk(0));
    if (!probe || at > heapEnd || heapEnd - at > kHuge) return;
    mallopt(M_TOP_PAD, static_cast<int>(kHugeRegion));  // the block grows the heap by this
    void* passedOver = malloc(boundary - at > 2 * 4096 ? boundary - at - 4096 : 4096);
    asm volatile("" : : "g"(passedOver) : "memory");  // kept, though never used
    mallopt(M_TOP_PAD, 128 << 10);
    const uintptr_t end = reinterpret_cast<uintptr_t>(sbrk(0)) & ~(kHuge - 1);
    if (end > boundary) madvise(reinterpret_cast<void*>(boundary), end - boundary, MADV_HUGEPAGE);
#endif
#endif
}

std::filesystem::path fsPath(const std::string& utf8) { return std::filesystem::path(utf8); }

std::string utf8Path(const std::filesystem::path& path) { return path.string(); }

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

bool writeTexts(int fd, const std::string_view* texts, size_t count) {
    // A record's parts go out once per call: no allocation on this path.
    iovec parts[kMaxParts];
    for (size_t at = 0; at < count;) {
        size_t used = 0;
        size_t bytes = 0;
        for (; at < count && used < kMaxParts; ++at) {
            if (texts[at].empty()) continue;
            parts[used++] = iovec{const_cast<char*>(texts[at].data()), texts[at].size()};
            bytes += texts[at].size();
        }
        if (!writeAllParts(fd, parts, used, bytes)) return false;
    }
    return true;
}

void* loadLibrary(const char* name, std::string& why) {
    void* handle = ::dlopen(name, RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* text = ::dlerror();
        why = text ? text : "";
    }
    return handle;
}

void* librarySymbol(void* library, const char* symbol) { return ::dlsym(library, symbol); }

const char* odbcLibraryName() { return "libodbc.so.2"; }

}  // namespace brolvin::os
