#pragma once

#include "platform/Workers.h"

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace dravik {

// One thread per job. The destructor waits for the jobs still running, so no worker outlives the
// launcher context it uses.
class ThreadWorkers : public Workers {
public:
    ThreadWorkers() = default;
    ~ThreadWorkers() override;
    ThreadWorkers(const ThreadWorkers&) = delete;
    ThreadWorkers& operator=(const ThreadWorkers&) = delete;

    void run(std::function<void()> work) override;

private:
    std::mutex m_mutex;
    std::vector<std::thread> m_threads;
};

} // namespace dravik
