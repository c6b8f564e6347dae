// Appending to one output file many times while holding it open: the same
// bytes reach the file as with one open-append-close per text (CSC_0001E
// mode 2), without the system calls of opening and closing every time.
#pragma once

#include <string>
#include <string_view>

namespace brolvin {

// Texts collected elsewhere for the file an OutputAppender holds (records a
// writer gathers without copying): they must reach the file before anything
// appended after them.
class GatheredTexts {
public:
    // Appends the collected texts (through appendGathered); false on failure.
    virtual bool handOver() = 0;

protected:
    ~GatheredTexts() = default;
};

class OutputAppender {
public:
    // With `batchBytes` > 0, appended texts are collected and written together
    // once they reach that size (and on close or a switch of file), so many
    // small records cost one system call. A text is never split across
    // writes; a failed write is reported by the append or close that made it.
    explicit OutputAppender(size_t batchBytes = 0) : batchBytes_(batchBytes) {}
    ~OutputAppender();
    OutputAppender(const OutputAppender&) = delete;
    OutputAppender& operator=(const OutputAppender&) = delete;

    // Appends `text` to `fileName`. Like CSC_0001E mode 2 it never creates a
    // missing file; false when the file is missing, cannot be opened or the
    // write fails. Switching to another file name closes the one held.
    bool append(std::string_view text, const std::string& fileName);
    // Appends the texts in order, as one text, without copying them: what
    // is collected goes out first, then these in as few writes as the
    // system allows.
    bool appendGathered(const std::string_view* texts, size_t count, const std::string& fileName);
    // Opens `fileName` for appending, after what is collected for it and
    // elsewhere, and gives its descriptor for a write of the caller's own,
    // which must end before the next call on this appender; -1 on failure.
    int heldFile(const std::string& fileName);
    // Names the texts collected for this file elsewhere (null: none). They
    // are handed over before the next append of anything else and before
    // closing, and the name is then forgotten.
    void gatherFrom(GatheredTexts* texts) { gathered_ = texts; }
    // True when `fileName` is the file held open, or exists.
    bool fileAvailable(const std::string& fileName) const;
    // Writes what is collected and closes the file held; false when that
    // write or closing reported an error.
    bool close();

private:
    bool flush();
    bool hold(const std::string& fileName);
    bool takeGathered();

    size_t batchBytes_;
    int fd_ = -1;
    std::string name_;
    std::string pending_;
    GatheredTexts* gathered_ = nullptr;
};

}  // namespace brolvin
