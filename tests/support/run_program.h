// Running the real program in a child process, as scripts do.
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
    int status = -1;              // exit status, or minus the signal number
    long peakKb = 0;
    double seconds = 0;
};

// Starts the program with `args`; input on /dev/null, console output to
// `console` (a file, created or replaced) or to /dev/null.
inline pid_t startProgram(const std::vector<std::string>& args, const std::string& console = "") {
    pid_t pid = fork();
    if (pid == 0) {
        int devNull = ::open("/dev/null", O_RDWR);
        int out = console.empty() ? devNull : ::open(console.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(devNull, 0);
        dup2(out, 1);
        dup2(out, 2);
        std::vector<char*> argv;
        std::string program = BROLVIN_BINARY;
        argv.push_back(program.data());
        std::vector<std::string> copies = args;
        for (std::string& a : copies) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    return pid;
}

inline Outcome waitProgram(pid_t pid) {
    const auto start = std::chrono::steady_clock::now();
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

inline Outcome runProgram(const std::vector<std::string>& args, const std::string& console = "") {
    const auto start = std::chrono::steady_clock::now();
    Outcome o = waitProgram(startProgram(args, console));
    o.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return o;
}

}  // namespace brolvin::test
