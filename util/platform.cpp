#include "util/platform.h"

#include <cctype>
#include <cstdio>
#include <ctime>
#include <iostream>

#include "util/os.h"

#ifndef BROLVIN_COMPILER_TEXT
#define BROLVIN_COMPILER_TEXT "unknown compiler"
#endif

namespace brolvin {

DateTime SystemPlatform::now() {
    std::tm local = os::localTime(std::time(nullptr));
    DateTime d;
    d.year = local.tm_year + 1900;
    d.month = local.tm_mon + 1;
    d.day = local.tm_mday;
    d.hour = local.tm_hour;
    d.minute = local.tm_min;
    d.second = local.tm_sec;
    return d;
}

namespace {

// A folder that begins with a drive letter and colon ("C:\Users"): the letter.
bool hasDrive(const std::string& folder) {
    return folder.size() >= 2 && folder[1] == ':' && std::isalpha(static_cast<unsigned char>(folder[0]));
}

}  // namespace

std::string SystemPlatform::currentFolder() {
    std::string cwd = os::currentFolder();
    if (hasDrive(cwd)) cwd.erase(0, 2);
    // The leading separators go: "/home/a" gives "home/a", "\\server\share"
    // gives "server\share".
    size_t lead = 0;
    while (lead < cwd.size() && std::string_view(os::kFolderSeparators).find(cwd[lead]) != std::string_view::npos)
        ++lead;
    cwd.erase(0, lead);
    return cwd;
}

std::string SystemPlatform::currentDrive() {
    std::string cwd = os::currentFolder();
    return hasDrive(cwd) ? cwd.substr(0, 1) : "";
}

std::string SystemPlatform::operatingSystem() { return os::systemName(); }

std::string SystemPlatform::compilerVersion() { return BROLVIN_COMPILER_TEXT; }

void SystemPlatform::consoleLine(const std::string& text) {
    std::cout << text << '\n' << std::flush;
}

void SystemPlatform::warningLine(const std::string& text) {
    std::cerr << text << '\n' << std::flush;
}

bool SystemPlatform::inputIsTerminal() { return os::inputIsTerminal(); }

void SystemPlatform::waitForKey() {
    // A converter inside a script or pipe must never wait: only a terminal
    // gets the key wait, and then as one blocking read of one key.
    if (!inputIsTerminal()) return;
    os::readOneKey();
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
