#pragma once

#include "platform/Http.h"
#include "system/curl/CurlRequestSetup.h"
#include "system/curl/TransferEngine.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

namespace dravik {

class MainThread;

// One download of CurlHttp: the engine's side of the transfer, which streams the body to a
// temporary file, and what the main thread has been told so far.
struct CurlDownloadJob : TransferEngine::Job, std::enable_shared_from_this<CurlDownloadJob> {
    CurlDownloadJob(MainThread& mainThread, TransferEngine& engine, HttpRequest request,
                    std::string folder, TransferReceiver receiver)
        : mainThread(mainThread), engine(engine), request(std::move(request)),
          folder(std::move(folder)), receiver(std::move(receiver)) {}

    MainThread& mainThread;
    TransferEngine& engine;
    const HttpRequest request;
    const std::string folder;
    const TransferReceiver receiver;

    // Cleared when the Transfer or the client goes away: nothing is delivered after that.
    std::atomic<bool> delivering{true};
    // Set once the exchange is over for good: a cancel then has nothing to stop.
    std::atomic<bool> ended{false};
    // Held back until this job's predecessor has ended (CurlHttp::downloadAfter): whether it may
    // start then, asked under followMutex.
    std::function<bool()> mayStart;

    // Engine thread only.
    CURL* easy = nullptr;
    CurlRequestSetup setup;
    int fd = -1;
    std::string temporaryFile;
    std::string pending; // received, not yet written
    int64_t written = 0;
    int64_t expected = -1;
    bool statusChecked = false;
    bool rejected = false;
    std::string writeError;
    // A resumable download (request.resumeFile): where the body continues, the answer's headers
    // that decide whether it may, and whether the bytes may be continued by a later download.
    int64_t resumeFrom = 0;
    std::string validator;
    std::chrono::system_clock::time_point started;
    std::string etag;
    std::string lastModified;
    std::string contentRange;
    bool resumable = false;
    bool described = false; // a description of the partial file may stand beside it
    bool rangeRefused = false;
    bool startedAgain = false;
    TransferEngine::Clock::time_point lastProgressPost;

    // Handed from the engine to the main thread.
    std::atomic<int64_t> reportedWritten{0};
    std::atomic<int64_t> reportedExpected{-1};
    std::atomic<bool> progressPending{false};

    // The job held back until this one ends, and how this one ended.
    std::mutex followMutex;
    std::shared_ptr<CurlDownloadJob> follower;
    bool handedOver = false;
    bool endedWhole = false;
    // Main thread only.
    int64_t deliveredWritten = 0;
    int64_t deliveredExpected = -1;

    // Clears delivering; mayStart is not asked after this returns.
    void stopDelivering();
    // next starts once this job has ended with its whole body, else it ends "cancelled". Any
    // thread.
    void follow(std::shared_ptr<CurlDownloadJob> next);
    std::string start(CURL* handle) override;
    void end(CURL* handle, int curlResult, const std::string& engineError) override;

    bool receiverAlive();
    std::string openTemporaryFile();
    std::string openResumeFile();
    // Decides on the answer's status and headers whether the body is taken; once per answer.
    bool acceptAnswer();
    bool acceptRange(int64_t contentLength);
    bool startFromZero();
    // The exchange ended without the whole body: whether the bytes stay for a later download.
    void keepOrDropPartial(bool keep);
    // A range the server answered wrongly: the same job asks for the whole body once more.
    void startAgainWhole();
    std::string outcome(int curlResult, const std::string& engineError, long code) const;
    bool flush();
    void reportProgress();
    void deliverProgress();
    // The job has ended for good: its follower starts, or ends.
    void handOver(bool whole);
    void startAfter(bool previousWhole);
    static size_t onData(char* data, size_t size, size_t count, void* user);
    static size_t onHeader(char* data, size_t size, size_t count, void* user);
};

} // namespace dravik
