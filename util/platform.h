// The narrow seam between the program and its surroundings: the clock, the
// current folder and drive, the descriptive texts of the run-log header and
// the console. Tests substitute a fixed implementation so whole logs can be
// compared byte for byte.
#pragma once

#include <string>

namespace brolvin {

struct DateTime {
    int year = 2000;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

class Platform {
public:
    virtual ~Platform() = default;
    virtual DateTime now() = 0;
    // Current folder without drive and without the leading separator.
    virtual std::string currentFolder() = 0;
    // Letter of the current folder's drive ("C" on Windows); Linux and
    // network folders have none, so the real platform answers "" there.
    virtual std::string currentDrive() = 0;
    virtual std::string operatingSystem() = 0;
    virtual std::string compilerVersion() = 0;
    // One line on the console (the line end is added here): the banner, the
    // parameters and the job's outcome.
    virtual void consoleLine(const std::string& text) = 0;
    // One warning or low-level file error on standard error, so the console
    // proper keeps only the job's story.
    virtual void warningLine(const std::string& text) = 0;
    // Whether standard input is a terminal, so a key can be asked for.
    virtual bool inputIsTerminal() = 0;
    // Wait for one key with a blocking read; returns at once when standard
    // input is not a terminal.
    virtual void waitForKey() = 0;
};

// The real machine.
class SystemPlatform : public Platform {
public:
    DateTime now() override;
    std::string currentFolder() override;
    std::string currentDrive() override;
    std::string operatingSystem() override;
    std::string compilerVersion() override;
    void consoleLine(const std::string& text) override;
    void warningLine(const std::string& text) override;
    bool inputIsTerminal() override;
    void waitForKey() override;
};

// Per-run context handed to every routine that logs: the platform plus the
// date format, which the database writer may switch for the rest of the run.
struct RunContext {
    explicit RunContext(Platform& p) : platform(p) {}
    Platform& platform;
    bool isoDateFormat = false;  // false: mm/dd/yy, true: yyyy.mm.dd
    // Whether debug.log, tdebug.log and qzmap.log are written in the current
    // folder. Workers of a folder job share that folder, so they keep these
    // texts in memory and the run log carries them instead.
    bool sideLogFiles = true;

    // "HH:MM:SS" of the current time.
    std::string timeText();
    // The current date in the current date format.
    std::string dateText();
    // Formatting of a given moment, for values taken once (job start).
    std::string formatTime(const DateTime& t) const;
    std::string formatDate(const DateTime& t) const;
    // A time-stamped log line: time + text + CR LF.
    std::string stampedLine(const std::string& text);
};

}  // namespace brolvin
