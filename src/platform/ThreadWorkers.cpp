#include "platform/ThreadWorkers.h"

namespace dravik {

ThreadWorkers::~ThreadWorkers() {
    std::vector<std::thread> threads;
    {
        std::lock_guard lock(m_mutex);
        threads.swap(m_threads);
    }
    for (auto& thread : threads)
        if (thread.joinable())
            thread.join();
}

void ThreadWorkers::run(std::function<void()> work) {
    std::lock_guard lock(m_mutex);
    m_threads.emplace_back(std::move(work));
}

} // namespace dravik
