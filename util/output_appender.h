// Appending to one output file many times while holding it open: the same
// bytes reach the file as with one open-append-close per text (CSC_0001E
// mode 2), without the system calls of opening and closing every time.
#pragma once

#include <string>
#include <string_view>

namespace brolvin {

class OutputAppender {
public:
    OutputAppender() = default;
    ~OutputAppender();
    OutputAppender(const OutputAppender&) = delete;
    OutputAppender& operator=(const OutputAppender&) = delete;

    // Appends `text` to `fileName` with one write. Like CSC_0001E mode 2 it
    // never creates a missing file; false when the file is missing, cannot
    // be opened or the write fails. Switching to another file name closes
    // the one held.
    bool append(std::string_view text, const std::string& fileName);
    // True when `fileName` is the file held open, or exists.
    bool fileAvailable(const std::string& fileName) const;
    // Closes the file held; false when closing reported an error.
    bool close();

private:
    int fd_ = -1;
    std::string name_;
};

}  // namespace brolvin
