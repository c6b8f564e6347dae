#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "support/process.h"
#include "support/test_system.h"

namespace brolvin::test {

Process startProcess(const std::vector<std::string>& argv, const std::string& out, const std::string& err) {
    pid_t pid = fork();
    if (pid == 0) {
        int devNull = ::open("/dev/null", O_RDWR);
        int outFd = out.empty() ? devNull : ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int errFd = err.empty() ? outFd : ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(devNull, 0);
        dup2(outFd, 1);
        dup2(errFd, 2);
        std::vector<std::string> copies = argv;
        std::vector<char*> args;
        for (std::string& a : copies) args.push_back(a.data());
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    return {pid};
}

Outcome waitProcess(Process process, int timeoutSeconds) {
    const auto start = std::chrono::steady_clock::now();
    const auto deadline = start + std::chrono::seconds(timeoutSeconds);
    Outcome o;
    const pid_t pid = static_cast<pid_t>(process.id);
    int status = 0;
    struct rusage usage {};
    if (pid < 0) return o;
    for (;;) {
        pid_t done = wait4(pid, &status, timeoutSeconds > 0 ? WNOHANG : 0, &usage);
        if (done == pid) break;
        if (done < 0) return o;
        if (std::chrono::steady_clock::now() >= deadline) kill(pid, SIGKILL);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    o.exitedNormally = WIFEXITED(status);
    o.status = o.exitedNormally ? WEXITSTATUS(status) : -WTERMSIG(status);
    o.peakKb = usage.ru_maxrss;
    o.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return o;
}

void killProcess(Process process) {
    if (process.id > 0) kill(static_cast<pid_t>(process.id), SIGKILL);
}

int runCommand(const std::vector<std::string>& argv, std::string* output) {
    char name[] = "/tmp/brolvin-command-XXXXXX";
    int fd = mkstemp(name);
    if (fd < 0) return -1;
    ::close(fd);
    Outcome o = waitProcess(startProcess(argv, name), 300);
    if (output) {
        output->clear();
        if (FILE* f = std::fopen(name, "rb")) {
            char buf[4096];
            size_t n;
            while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) output->append(buf, n);
            std::fclose(f);
        }
    }
    ::unlink(name);
    return o.exitedNormally && o.status != 127 ? o.status : -1;
}

bool linuxSystem() { return true; }

bool mountSmallDisk(const std::string& folder, long long size) {
    const std::string options = "size=" + std::to_string(size);
    return ::mount("tmpfs", folder.c_str(), "tmpfs", 0, options.c_str()) == 0;
}

void unmountDisk(const std::string& folder) { ::umount(folder.c_str()); }

std::string fullDevice() { return "/dev/full"; }

bool makeUnreadable(const std::string& path) { return geteuid() != 0 && ::chmod(path.c_str(), 0) == 0; }

void makeReadable(const std::string& path) { ::chmod(path.c_str(), 0644); }

void defaultFileSizeSignal() { signal(SIGXFSZ, SIG_DFL); }

FileSizeLimit::FileSizeLimit(long long bytes) {
    struct rlimit limit {};
    if (getrlimit(RLIMIT_FSIZE, &limit) != 0) return;
    savedCurrent_ = limit.rlim_cur;
    savedHandler_ = signal(SIGXFSZ, SIG_IGN);
    saved_ = true;
    limit.rlim_cur = static_cast<rlim_t>(bytes);
    active_ = setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

FileSizeLimit::~FileSizeLimit() {
    if (!saved_) return;
    struct rlimit limit {};
    if (getrlimit(RLIMIT_FSIZE, &limit) == 0) {
        limit.rlim_cur = static_cast<rlim_t>(savedCurrent_);
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    signal(SIGXFSZ, savedHandler_);
}

}  // namespace brolvin::test
