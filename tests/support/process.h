// Running programs in child processes, as scripts do, on Linux and Windows:
// the arguments go to the program as given, without a shell between.
#pragma once

#include <string>
#include <vector>

namespace brolvin::test {

struct Outcome {
    bool exitedNormally = false;  // false: ended by a signal, a crash or a kill
    int status = -1;              // exit status, or minus the signal number
    long peakKb = 0;
    double seconds = 0;
};

// The status of a process ended by killProcess.
constexpr int kKilledStatus = -9;

struct Process {
    long long id = -1;  // process id, or the process handle
};

// Starts argv[0] with the other arguments; input from the null device,
// standard output to the file `out` (created or replaced; "" = the null
// device), standard error to `err` ("" = with standard output).
Process startProcess(const std::vector<std::string>& argv, const std::string& out = "",
                     const std::string& err = "");
// Waits for the process; after `timeoutSeconds` (0 = no limit) it is killed.
Outcome waitProcess(Process process, int timeoutSeconds = 0);
void killProcess(Process process);
// Runs a command; its exit status, -1 when it could not run or did not end
// normally. `output` gets what it wrote to standard output and error.
int runCommand(const std::vector<std::string>& argv, std::string* output = nullptr);

#ifdef BROLVIN_BINARY
// The converter itself, with `args` after its name.
inline Process startProgram(const std::vector<std::string>& args, const std::string& console = "",
                            const std::string& err = "") {
    std::vector<std::string> argv{BROLVIN_BINARY};
    argv.insert(argv.end(), args.begin(), args.end());
    return startProcess(argv, console, err);
}
inline Outcome waitProgram(Process process, int timeoutSeconds = 0) { return waitProcess(process, timeoutSeconds); }
inline Outcome runProgram(const std::vector<std::string>& args, const std::string& console = "",
                          int timeoutSeconds = 0) {
    return waitProcess(startProgram(args, console), timeoutSeconds);
}
#endif

}  // namespace brolvin::test
