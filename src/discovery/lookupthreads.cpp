#include "discovery/lookupthreads.h"

#include "core/logging.h"

#include <system_error>

namespace zeph {

bool LookupThreads::start(std::function<void()> work)
{
    std::vector<Worker> finished;
    {
        const std::lock_guard lock(m_mutex);
        for (auto it = m_workers.begin(); it != m_workers.end();) {
            if (it->done->load()) {
                finished.push_back(std::move(*it));
                it = m_workers.erase(it);
            } else {
                ++it;
            }
        }
        auto done = std::make_shared<std::atomic<bool>>(false);
        try {
            m_workers.push_back({std::thread([work = std::move(work), done] {
                                     work();
                                     *done = true;
                                 }),
                                 done});
        } catch (const std::system_error& e) {
            qCWarning(lcDiscovery) << "no thread for a reverse lookup:" << e.what();
            return false;
        }
    }
    // Their work has ended: joining them takes no time.
    for (Worker& w : finished)
        w.thread.join();
    return true;
}

void LookupThreads::joinAll()
{
    std::vector<Worker> all;
    {
        const std::lock_guard lock(m_mutex);
        all.swap(m_workers);
    }
    for (Worker& w : all)
        w.thread.join();
}

} // namespace zeph
