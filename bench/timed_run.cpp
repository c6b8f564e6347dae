// Runs a command as a child and prints its wall time in seconds, its peak
// resident memory in kB (getrusage of the child), the child's exit status and
// its processor time (user + system) in seconds.
//
//   timed_run COMMAND [ARGS...]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: timed_run COMMAND [ARGS...]\n");
        return 2;
    }
    auto t0 = std::chrono::steady_clock::now();
    pid_t pid = ::fork();
    if (pid < 0) {
        std::perror("fork");
        return 1;
    }
    if (pid == 0) {
        ::execvp(argv[1], argv + 1);
        std::perror(argv[1]);
        _exit(127);
    }
    int status = 0;
    struct rusage usage {};
    if (::wait4(pid, &status, 0, &usage) < 0) {
        std::perror("wait4");
        return 1;
    }
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    // seconds peak-kB exit-status cpu-seconds
    std::printf("%.6f %ld %d %.6f\n", s, usage.ru_maxrss, code, cpu);
    return 0;
}
