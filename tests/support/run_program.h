// Runs the built program as a child process and reports how it ended, its
// peak memory and its run time.
#pragma once

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

namespace brolvin::test {

struct Outcome {
    bool exitedNormally = false;  // false: ended by a signal (a crash)
    int status = -1;
    long peakKb = 0;
    double seconds = 0;
};

// Runs the program with `args`, console output and input on /dev/null.
inline Outcome runProgram(const std::vector<std::string>& args) {
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        int devNull = ::open("/dev/null", O_RDWR);
        dup2(devNull, 0);
        dup2(devNull, 1);
        dup2(devNull, 2);
        std::vector<char*> argv;
        std::string program = BROLVIN_BINARY;
        argv.push_back(program.data());
        std::vector<std::string> copies = args;
        for (std::string& a : copies) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    Outcome o;
    int status = 0;
    struct rusage usage {};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid) return o;
    o.exitedNormally = WIFEXITED(status);
    o.status = o.exitedNormally ? WEXITSTATUS(status) : -WTERMSIG(status);
    o.peakKb = usage.ru_maxrss;
    o.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return o;
}

}  // namespace brolvin::test
