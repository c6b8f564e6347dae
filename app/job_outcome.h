// What a job came to, in words: the reason of its first failure, kept where
// the failure is found, for the one console line that ends every job.
#pragma once

#include <string>
#include <utility>

namespace brolvin {

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
