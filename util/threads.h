// Starting and stopping the program's helper threads, the same way
// everywhere: a thread the system refuses is work the caller does itself.
#pragma once

#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace brolvin {

// Starts `body` on `thread`; false when the system gives no thread (thread
// or memory limits), so the caller goes on without it.
template <class Body>
bool startThread(std::thread& thread, Body&& body) {
    try {
        thread = std::thread(std::forward<Body>(body));
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

// Sets `stop` under `mutex`, wakes the thread waiting on `wake` and waits for
// it to end. Nothing when the thread never started.
inline void stopThread(std::thread& thread, std::mutex& mutex, bool& stop, std::condition_variable& wake) {
    if (!thread.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(mutex);
        stop = true;
    }
    wake.notify_all();
    thread.join();
}

}  // namespace brolvin
