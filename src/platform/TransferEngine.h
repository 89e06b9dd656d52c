#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

typedef void CURL;

namespace dravik {

// One thread that runs every exchange of an HTTP client on one libcurl multi handle, so that
// exchanges with the same host, one after another, share a connection, a TLS session and the
// certificate store, which is read once.
class TransferEngine {
public:
    using Clock = std::chrono::steady_clock;

    // One exchange. start and end run on the engine's thread; cancel may be called from any
    // thread, also after the engine has gone.
    class Job {
    public:
        virtual ~Job() = default;
        // Sets the exchange's options on the handle; a non-empty text ends the job at once.
        virtual std::string start(CURL* easy) = 0;
        // The exchange is over: error is the engine's own reason ("cancelled", a timeout or the
        // engine's end), empty when libcurl's result applies. easy is null when it never started.
        virtual void end(CURL* easy, int curlResult, const std::string& error) = 0;

        void cancel();
        bool isCancelled() const { return m_cancelled; }

        // A job whose exchange receives nothing for this long ends; zero for none. Engine thread.
        std::chrono::milliseconds idleTimeout{0};
        Clock::time_point lastData;

    private:
        friend class TransferEngine;
        std::atomic<bool> m_cancelled{false};
        std::shared_ptr<struct TransferEngineWake> m_wake;
    };

    // caBundle: the certificates trusted besides the system's (a PEM file), empty for none.
    explicit TransferEngine(std::string extraCaBundle);
    // Ends every job still queued or running (with an error) and stops the thread.
    ~TransferEngine();
    TransferEngine(const TransferEngine&) = delete;
    TransferEngine& operator=(const TransferEngine&) = delete;

    void submit(std::shared_ptr<Job> job);

    struct Core;

private:
    void run();

    std::unique_ptr<Core> m_core;
    std::shared_ptr<TransferEngineWake> m_wake;
    std::mutex m_mutex;
    std::vector<std::shared_ptr<Job>> m_queue;
    bool m_stopping = false;
    std::thread m_thread;
};

} // namespace dravik
