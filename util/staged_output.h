// New output files that appear whole or not at all: the file is written
// under a temporary name in its own folder and given its final name only
// when complete, so a failed or killed job never leaves a partial file there.
#pragma once

#include <string>

namespace brolvin {

enum class Published {
    kDone,    // the file is under its final name
    kExists,  // the final name was taken and was not to be replaced
    kFailed,  // the system refused the move
};

class StagedOutput {
public:
    StagedOutput() = default;
    ~StagedOutput() { discard(); }
    StagedOutput(const StagedOutput&) = delete;
    StagedOutput& operator=(const StagedOutput&) = delete;

    // Prepares writing `finalName`: creates an empty temporary file beside
    // it. A final name that exists and is no regular file (a device, a pipe,
    // a folder) is written in place, as such a file cannot be replaced; a
    // symbolic link to a file keeps its link, the file it leads to is
    // replaced. False when the temporary file cannot be created.
    bool begin(const std::string& finalName);
    // The file to write now: the temporary file, or the final name itself
    // when written in place; "" after a failed begin.
    const std::string& path() const { return path_; }

    // Gives the complete file its final name in one step. Without `replace`
    // an existing file of that name is never replaced (kExists), even one
    // another job has just made.
    Published publish(bool replace);
    // Removes the temporary file; the final name is not touched.
    void discard();

private:
    std::string final_;
    std::string temp_;
    std::string path_;
};

// Renames `from` to `to` in one step, replacing an existing `to` only with
// `replace`. Across file systems the file is copied to a temporary file
// beside `to`, published there, and only then `from` is removed.
Published moveFile(const std::string& from, const std::string& to, bool replace);

}  // namespace brolvin
