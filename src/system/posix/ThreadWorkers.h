#pragma once

#include "platform/Workers.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace dravik {

// One thread per job. A finished job's thread is joined by the next run() (or the destructor), so
// the pool keeps only the threads still running. waitForJobs(), and the destructor, wait for the
// jobs still running; main calls it before the launcher context its jobs use goes away.
class ThreadWorkers : public Workers {
public:
    ThreadWorkers() = default;
    ~ThreadWorkers() override;
    ThreadWorkers(const ThreadWorkers&) = delete;
    ThreadWorkers& operator=(const ThreadWorkers&) = delete;

    void run(std::function<void()> work) override;
    // Waits for the jobs still running and joins every thread; later jobs may still be run.
    void waitForJobs();

    struct ThreadCounts {
        size_t running = 0;
        size_t unjoined = 0; // ended, joined by the next run()
    };
    ThreadCounts threadCounts() const;

private:
    void joinFinished();

    mutable std::mutex m_mutex;
    std::condition_variable m_threadEnded;
    uint64_t m_nextId = 0;
    std::map<uint64_t, std::thread> m_running;
    std::vector<std::thread> m_finished; // their jobs have returned
};

} // namespace dravik
