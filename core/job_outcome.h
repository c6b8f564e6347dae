// What a job came to: whether and where writing an output failed, and the
// reason of its first failure in words, kept where the failure is found, for
// the one console line that ends every job.
#pragma once

#include <string>
#include <utility>

namespace brolvin {

// Whether writing an output failed, and the first file that failed.
struct WriteOutcome {
    bool failed = false;
    std::string file;

    // Notes one write of `path`; only the first failure is kept.
    void note(bool ok, const std::string& path) {
        if (ok || failed) return;
        failed = true;
        file = path;
    }
};

class FirstFailure {
public:
    // Keeps `reason` unless an earlier failure was noted.
    void note(std::string reason) {
        if (reason_.empty()) reason_ = std::move(reason);
    }
    void note(const FirstFailure& other) {
        if (other.failed()) note(other.reason_);
    }
    bool failed() const { return !reason_.empty(); }
    const std::string& reason() const { return reason_; }

private:
    std::string reason_;
};

}  // namespace brolvin
