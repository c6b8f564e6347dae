#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <psapi.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "support/process.h"
#include "support/test_system.h"

namespace brolvin::test {

namespace {

constexpr DWORD kKilledCode = 0x4B494C4C;  // "KILL": set by killProcess

std::wstring wide(const std::string& utf8) {
    if (utf8.empty()) return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

// One argument quoted so that CommandLineToArgvW and the C runtime give it
// back unchanged.
std::wstring quoted(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) return arg;
    std::wstring out = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        out.push_back(c);
    }
    out.append(backslashes * 2, L'\\');
    out.push_back(L'"');
    return out;
}

HANDLE inheritableFile(const std::wstring& name, DWORD access, DWORD creation) {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    return CreateFileW(name.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &sa, creation,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

Process startProcess(const std::vector<std::string>& argv, const std::string& out, const std::string& err) {
    std::wstring commandLine;
    for (const std::string& a : argv) commandLine += (commandLine.empty() ? L"" : L" ") + quoted(wide(a));
    HANDLE in = inheritableFile(L"NUL", GENERIC_READ, OPEN_EXISTING);
    HANDLE outFile = inheritableFile(out.empty() ? L"NUL" : wide(out), GENERIC_WRITE, CREATE_ALWAYS);
    HANDLE errFile = err.empty() ? outFile : inheritableFile(wide(err), GENERIC_WRITE, CREATE_ALWAYS);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = in;
    si.hStdOutput = outFile;
    si.hStdError = errFile;
    PROCESS_INFORMATION pi{};
    BOOL started = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    CloseHandle(in);
    CloseHandle(outFile);
    if (errFile != outFile) CloseHandle(errFile);
    if (!started) return {};
    CloseHandle(pi.hThread);
    return {reinterpret_cast<long long>(pi.hProcess)};
}

Outcome waitProcess(Process process, int timeoutSeconds) {
    const auto start = std::chrono::steady_clock::now();
    Outcome o;
    if (process.id == -1) return o;
    HANDLE h = reinterpret_cast<HANDLE>(process.id);
    if (WaitForSingleObject(h, timeoutSeconds > 0 ? static_cast<DWORD>(timeoutSeconds) * 1000 : INFINITE) !=
        WAIT_OBJECT_0) {
        TerminateProcess(h, kKilledCode);
        WaitForSingleObject(h, INFINITE);
    }
    DWORD code = 0;
    GetExitCodeProcess(h, &code);
    PROCESS_MEMORY_COUNTERS memory{};
    if (GetProcessMemoryInfo(h, &memory, sizeof memory)) o.peakKb = static_cast<long>(memory.PeakWorkingSetSize / 1024);
    CloseHandle(h);
    // Exit codes from 0xC0000000 up are exceptions: the process crashed.
    o.exitedNormally = code != kKilledCode && code < 0xC0000000u;
    o.status = code == kKilledCode ? kKilledStatus : o.exitedNormally ? static_cast<int>(code) : -static_cast<int>(code & 0xFFFF);
    o.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return o;
}

void killProcess(Process process) {
    if (process.id != -1) TerminateProcess(reinterpret_cast<HANDLE>(process.id), kKilledCode);
}

int runCommand(const std::vector<std::string>& argv, std::string* output) {
    wchar_t folder[MAX_PATH + 1], name[MAX_PATH + 1];
    if (!GetTempPathW(MAX_PATH + 1, folder) || !GetTempFileNameW(folder, L"brv", 0, name)) return -1;
    std::filesystem::path file(name);
    Outcome o = waitProcess(startProcess(argv, file.u8string().empty() ? "" : std::string(
                                                     reinterpret_cast<const char*>(file.u8string().c_str()))),
                            300);
    if (output) {
        std::ifstream in(file, std::ios::binary);
        output->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::error_code ec;
    std::filesystem::remove(file, ec);
    return o.exitedNormally ? o.status : -1;
}

bool linuxSystem() { return false; }
bool mountSmallDisk(const std::string&, long long) { return false; }
void unmountDisk(const std::string&) {}
std::string fullDevice() { return ""; }
bool makeUnreadable(const std::string&) { return false; }
void makeReadable(const std::string&) {}

void defaultFileSizeSignal() {}

FileSizeLimit::FileSizeLimit(long long) {}
FileSizeLimit::~FileSizeLimit() {}

}  // namespace brolvin::test
