// Appending to one output file many times while holding it open: the same
// bytes reach the file as with one open-append-close per text (CSC_0001E
// mode 2), without the system calls of opening and closing every time.
#pragma once

#include <string>
#include <string_view>

namespace brolvin {

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
    // True when `fileName` is the file held open, or exists.
    bool fileAvailable(const std::string& fileName) const;
    // Writes what is collected and closes the file held; false when that
    // write or closing reported an error.
    bool close();

private:
    bool flush();

    size_t batchBytes_;
    int fd_ = -1;
    std::string name_;
    std::string pending_;
};

}  // namespace brolvin
