#include "system/posix/ThreadWorkers.h"

namespace dravik {

ThreadWorkers::~ThreadWorkers() {
    waitForJobs();
}

void ThreadWorkers::waitForJobs() {
    {
        std::unique_lock lock(m_mutex);
        m_threadEnded.wait(lock, [this] { return m_running.empty(); });
    }
    joinFinished();
}

void ThreadWorkers::run(std::function<void()> work) {
    joinFinished();
    std::lock_guard lock(m_mutex);
    const uint64_t id = m_nextId++;
    // The thread cannot reach its own entry before it is stored: that needs the lock held here.
    m_running.emplace(id, std::thread([this, id, work = std::move(work)] {
                          work();
                          std::lock_guard ended(m_mutex);
                          auto self = m_running.find(id);
                          m_finished.push_back(std::move(self->second));
                          m_running.erase(self);
                          m_threadEnded.notify_all();
                      }));
}

ThreadWorkers::ThreadCounts ThreadWorkers::threadCounts() const {
    std::lock_guard lock(m_mutex);
    return {m_running.size(), m_finished.size()};
}

// A thread in m_finished has only to return from its last lines, which need nothing held here.
void ThreadWorkers::joinFinished() {
    std::vector<std::thread> finished;
    {
        std::lock_guard lock(m_mutex);
        finished.swap(m_finished);
    }
    for (auto& thread : finished)
        thread.join();
}

} // namespace dravik
