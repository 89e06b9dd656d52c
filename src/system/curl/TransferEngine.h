#pragma once

#include "system/curl/TrustStore.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

typedef void CURL;

namespace dravik {

// One thread that runs every exchange of an HTTP client on one libcurl multi handle, so that
// exchanges with the same host, one after another, share a connection, a TLS session and the
// certificate store, which is read once. Every job ends: by libcurl's result, its idle timeout,
// a cancel, a failure of the multi interface or the engine's end.
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
        // The exchange is over: error is the engine's own reason ("cancelled", a timeout, a
        // failure of the multi interface or the engine's end), empty when libcurl's result
        // applies. easy is null when it never started.
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

    struct Settings {
        // The build's authority, trusted besides the system's; none for none.
        std::optional<TrustStore::Pem> extraAuthority;
        // Where the system's authorities are; none: where this system keeps them.
        std::optional<TrustStore::SystemSources> systemAuthorities;
        // Tests: given the result of each call of libcurl's multi interface, the result the
        // engine acts on, so that a failure there can be staged. Engine thread.
        std::function<int(int multiResult)> multiResult;
    };

    explicit TransferEngine(Settings settings);
    // Ends every job still queued or running (with an error) and stops the thread.
    ~TransferEngine();
    TransferEngine(const TransferEngine&) = delete;
    TransferEngine& operator=(const TransferEngine&) = delete;

    // Where lines for the run log go (an empty system trust), from the engine's thread.
    void setRunLog(TrustStore::Report runLog);

    void submit(std::shared_ptr<Job> job);
    // For a job submitted later from another thread: lets its cancel() reach the engine from now.
    void attach(Job& job) const;

    struct Core;

private:
    void run();
    void recoverFromFailure(int result);
    void waitAfterFailure();
    std::vector<std::shared_ptr<Job>> takeQueued();
    bool anyQueued();

    std::unique_ptr<Core> m_core;
    std::shared_ptr<TransferEngineWake> m_wake;
    std::mutex m_mutex;
    std::condition_variable m_queueChanged;
    std::vector<std::shared_ptr<Job>> m_queue;
    bool m_stopping = false;
    TrustStore::Report m_runLog;
    std::thread m_thread;
    std::atomic<std::thread::id> m_threadId; // set by the thread itself
};

} // namespace dravik
