// Writes on a thread of its own, so the caller builds the next texts while
// the system copies the last ones out. Up to three writes wait their turn, so
// the thread goes from one to the next without waiting for the caller; a
// caller held back is woken only once the thread is down to its last write,
// so it is woken once per few writes rather than after every one.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string_view>
#include <thread>

namespace brolvin {

class BackgroundWrite {
public:
    // Writes started but not ended at most; a caller rotating its buffers
    // needs one more than this (one to build in).
    static constexpr size_t kMaxUnfinished = 3;

    BackgroundWrite() = default;
    ~BackgroundWrite();
    BackgroundWrite(const BackgroundWrite&) = delete;
    BackgroundWrite& operator=(const BackgroundWrite&) = delete;

    // Queues a write of the texts, in order, to `fd`, first waiting until
    // fewer than kMaxUnfinished writes are unfinished: when it returns, the
    // texts of the write started kMaxUnfinished calls before are free again.
    // The texts and the array naming them must stay as they are until then.
    // False when a write ended with a failure since the last report. Where
    // no thread can be started the write is made before start() returns.
    bool start(int fd, const std::string_view* texts, size_t count);
    // Waits for every write started; false when one failed since the last report.
    bool wait();

private:
    struct Job {
        int fd = -1;
        const std::string_view* texts = nullptr;
        size_t count = 0;
    };
    void loop();
    bool haveThread();
    bool takeResult();

    std::thread thread_;     // started with the first write
    bool noThread_ = false;  // none could be started: the caller writes
    std::mutex mutex_;
    std::condition_variable queued_;  // the thread waits for work
    std::condition_variable ended_;   // the caller waits for a write to end
    Job jobs_[kMaxUnfinished];        // a ring: the oldest is being written
    size_t first_ = 0;
    size_t unfinished_ = 0;
    bool ok_ = true;  // no write failed since the last report
    bool stop_ = false;
};

}  // namespace brolvin
