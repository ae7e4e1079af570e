#pragma once
// The threads that run a scan's reverse lookups. The resolver may block for
// seconds, so the event loop never waits for a lookup while the scan runs;
// but no thread is ever detached: destroying the owner waits for the threads
// still running, so that none outlives the name lookup and the statics it
// touches. Finished threads are joined when the next one starts.

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace zeph {

class LookupThreads {
public:
    LookupThreads() = default;
    ~LookupThreads() { joinAll(); }
    LookupThreads(const LookupThreads&) = delete;
    LookupThreads& operator=(const LookupThreads&) = delete;

    // Runs work on a thread of its own; false when no thread could be started.
    bool start(std::function<void()> work);
    // Waits until every thread started so far has ended.
    void joinAll();

private:
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    std::mutex m_mutex;
    std::vector<Worker> m_workers;
};

} // namespace zeph
