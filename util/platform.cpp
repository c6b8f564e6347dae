#include "util/platform.h"

#include <sys/utsname.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <iostream>

#ifndef BROLVIN_COMPILER_TEXT
#define BROLVIN_COMPILER_TEXT "unknown compiler"
#endif

namespace brolvin {

DateTime SystemPlatform::now() {
    std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    DateTime d;
    d.year = local.tm_year + 1900;
    d.month = local.tm_mon + 1;
    d.day = local.tm_mday;
    d.hour = local.tm_hour;
    d.minute = local.tm_min;
    d.second = local.tm_sec;
    return d;
}

std::string SystemPlatform::currentFolder() {
    std::error_code ec;
    std::string cwd = std::filesystem::current_path(ec).string();
    if (ec) return "";
    if (!cwd.empty() && cwd.front() == '/') cwd.erase(0, 1);
    return cwd;
}

std::string SystemPlatform::currentDrive() { return ""; }

std::string SystemPlatform::operatingSystem() {
    struct utsname u {};
    if (uname(&u) != 0) return "Linux";
    return std::string(u.sysname) + " " + u.release + " " + u.machine;
}

std::string SystemPlatform::compilerVersion() { return BROLVIN_COMPILER_TEXT; }

void SystemPlatform::consoleLine(const std::string& text) {
    std::cout << text << '\n' << std::flush;
}

void SystemPlatform::warningLine(const std::string& text) {
    std::cerr << text << '\n' << std::flush;
}

bool SystemPlatform::inputIsTerminal() { return isatty(STDIN_FILENO) == 1; }

void SystemPlatform::waitForKey() {
    // A converter inside a script or pipe must never wait: only a terminal
    // gets the key wait, and then as one blocking read of one key.
    if (!inputIsTerminal()) return;
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

namespace {
std::string two(int v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d", v % 100);
    return buf;
}
}  // namespace

std::string RunContext::formatTime(const DateTime& t) const {
    return two(t.hour) + ":" + two(t.minute) + ":" + two(t.second);
}

std::string RunContext::formatDate(const DateTime& t) const {
    if (isoDateFormat) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%04d.%02d.%02d", t.year, t.month, t.day);
        return buf;
    }
    return two(t.month) + "/" + two(t.day) + "/" + two(t.year % 100);
}

std::string RunContext::timeText() { return formatTime(platform.now()); }

std::string RunContext::dateText() { return formatDate(platform.now()); }

std::string RunContext::stampedLine(const std::string& text) {
    return timeText() + text + "\r\n";
}

}  // namespace brolvin
