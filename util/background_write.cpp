#include "util/background_write.h"

#include "util/os.h"
#include "util/threads.h"

namespace brolvin {

namespace {
// Unfinished writes at which a caller waiting to queue (or for all) is woken.
constexpr size_t kWakeCallerAt = 1;
}  // namespace

// The thread ends the writes queued first.
BackgroundWrite::~BackgroundWrite() { stopThread(thread_, mutex_, stop_, queued_); }

bool BackgroundWrite::takeResult() {
    const bool ok = ok_;
    ok_ = true;
    return ok;
}

// The writing thread, started on first use; false when the system gives
// none (the writes are then made by the caller).
bool BackgroundWrite::haveThread() {
    if (thread_.joinable()) return true;
    if (noThread_) return false;
    noThread_ = !startThread(thread_, [this] { loop(); });
    return !noThread_;
}

bool BackgroundWrite::start(int fd, const std::string_view* texts, size_t count) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!haveThread()) {
        ok_ = os::writeTexts(fd, texts, count) && ok_;
        return takeResult();
    }
    ended_.wait(lock, [this] { return unfinished_ < kMaxUnfinished; });
    jobs_[(first_ + unfinished_) % kMaxUnfinished] = Job{fd, texts, count};
    ++unfinished_;
    queued_.notify_one();
    return takeResult();
}

bool BackgroundWrite::wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    ended_.wait(lock, [this] { return unfinished_ == 0; });
    return takeResult();
}

void BackgroundWrite::loop() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        queued_.wait(lock, [this] { return unfinished_ > 0 || stop_; });
        if (unfinished_ == 0) return;
        const Job job = jobs_[first_];
        lock.unlock();
        const bool ok = os::writeTexts(job.fd, job.texts, job.count);
        lock.lock();
        ok_ = ok_ && ok;
        first_ = (first_ + 1) % kMaxUnfinished;
        --unfinished_;
        // Waking the caller costs this thread a system call; a caller held
        // back then has several writes to queue at once.
        if (unfinished_ <= kWakeCallerAt) ended_.notify_one();
    }
}

}  // namespace brolvin
