#pragma once

// A main thread without Qt: posted work waits in a queue until the thread that made the object
// runs it. Every hand-over goes through a std::mutex, which ThreadSanitizer understands (Qt's own
// event queue is not instrumented, so a race behind it would stay hidden or be reported wrongly).

#include "platform/Alerts.h"
#include "platform/MainThread.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace dravik::test {

class QueueMainThread : public MainThread {
public:
    bool isCurrent() const override { return std::this_thread::get_id() == m_owner; }

    void post(std::function<void()> work) override {
        {
            std::lock_guard lock(m_mutex);
            m_queue.push_back(std::move(work));
        }
        m_wake.notify_all();
    }

    void postAndWait(std::function<void()> work) override {
        if (isCurrent()) {
            work();
            return;
        }
        std::mutex mutex;
        std::condition_variable doneChanged;
        bool done = false;
        post([&] {
            work();
            std::lock_guard lock(mutex);
            done = true;
            doneChanged.notify_all();
        });
        std::unique_lock lock(mutex);
        doneChanged.wait(lock, [&] { return done; });
    }

    // Runs queued work on the calling (owning) thread until done() holds or the limit has passed.
    bool runUntil(const std::function<bool()>& done,
                  std::chrono::milliseconds limit = std::chrono::seconds(30)) {
        const auto until = std::chrono::steady_clock::now() + limit;
        while (!done()) {
            if (std::chrono::steady_clock::now() >= until)
                return false;
            std::function<void()> work;
            {
                // Short waits, so that a flag set without posting is seen too.
                std::unique_lock lock(m_mutex);
                if (!m_wake.wait_for(lock, std::chrono::milliseconds(5),
                                     [&] { return !m_queue.empty(); }))
                    continue;
                work = std::move(m_queue.front());
                m_queue.pop_front();
            }
            work();
        }
        return true;
    }

private:
    const std::thread::id m_owner = std::this_thread::get_id();
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_queue;
};

// Alerts shown the way the real ones are: on the main thread, with the calling worker waiting.
class MainThreadAlerts : public Alerts {
public:
    explicit MainThreadAlerts(MainThread& mainThread) : m_mainThread(mainThread) {}

    void critical(const std::string& text) override { show(text); }
    bool criticalOkCancel(const std::string& text) override { return show(text); }
    bool informationalOkCancel(const std::string& text) override { return show(text); }

    // Only on the main thread.
    const std::vector<std::string>& texts() const { return m_texts; }
    bool answer = true;

private:
    bool show(const std::string& text) {
        bool ok = false;
        m_mainThread.postAndWait([&] {
            m_texts.push_back(text);
            ok = answer;
        });
        return ok;
    }

    MainThread& m_mainThread;
    std::vector<std::string> m_texts;
};

} // namespace dravik::test
