#include "system/curl/CurlHttp.h"

#include "system/curl/BuiltInAuthority.h"
#include "system/curl/CurlDownloadJob.h"
#include "system/curl/CurlRequestSetup.h"
#include "system/curl/TransferEngine.h"

#include <condition_variable>
#include <curl/curl.h>
#include <mutex>
#include <optional>

namespace dravik {

namespace {

// Replies of synchronous requests are JSON documents; anything larger is not a reply we expect.
constexpr size_t kMaxReplyBytes = 64u * 1024u * 1024u;
// How long a waiting caller gives the engine beyond the request's own timeout before it stops the
// exchange itself, and then before it stops waiting.
constexpr auto kEngineGrace = std::chrono::seconds(5);

// One synchronous request: the engine runs it while the calling thread waits for the answer.
struct RequestJob : TransferEngine::Job {
    explicit RequestJob(HttpRequest request) : request(std::move(request)) {}

    const HttpRequest request; // a copy: a caller that stopped waiting may be gone
    CurlRequestSetup setup;
    std::string body;
    bool tooLarge = false;
    // Bumped on the engine's thread by every piece of the answer; read by the waiting caller.
    std::atomic<uint64_t> activity{0};

    std::mutex mutex;
    std::condition_variable doneChanged;
    std::optional<Expected<HttpResponse>> response; // set when the exchange has ended

    std::string start(CURL* easy) override {
        if (std::string error = setup.apply(easy, request, true); !error.empty())
            return error;
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &RequestJob::onData);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
        curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &RequestJob::onHeader);
        curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
        // The timeout counts time without data, as for downloads: an answer that keeps coming
        // is not cut off.
        idleTimeout = std::chrono::milliseconds(CurlRequestSetup::timeoutMs(request));
        return {};
    }

    void received() {
        lastData = TransferEngine::Clock::now();
        ++activity;
    }

    static size_t onHeader(char*, size_t size, size_t count, void* user) {
        static_cast<RequestJob*>(user)->received();
        return size * count;
    }

    static size_t onData(char* data, size_t size, size_t count, void* user) {
        auto* self = static_cast<RequestJob*>(user);
        size_t bytes = size * count;
        self->received();
        if (self->body.size() + bytes > kMaxReplyBytes) {
            self->tooLarge = true;
            return 0;
        }
        self->body.append(data, bytes);
        return bytes;
    }

    void end(CURL* easy, int curlResult, const std::string& engineError) override {
        Expected<HttpResponse> answer = outcome(easy, curlResult, engineError);
        std::lock_guard lock(mutex);
        response = std::move(answer);
        doneChanged.notify_all();
    }

    Expected<HttpResponse> outcome(CURL* easy, int curlResult, const std::string& engineError) {
        if (!engineError.empty())
            return fail(engineError);
        if (curlResult != CURLE_OK)
            return fail(tooLarge ? std::string("The reply is too large")
                                 : setup.describe(curlResult));
        long status = 0;
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
        HttpResponse answer{static_cast<int>(status), std::nullopt};
        if (!body.empty())
            answer.body = std::move(body);
        return answer;
    }

    // Bounded even when the engine does not answer: with nothing received for the timeout and a
    // grace, the caller stops the exchange; after a further grace it stops waiting.
    Expected<HttpResponse> wait() {
        const auto limit = std::chrono::milliseconds(CurlRequestSetup::timeoutMs(request)) +
                           std::chrono::duration_cast<std::chrono::milliseconds>(kEngineGrace);
        std::unique_lock lock(mutex);
        uint64_t seen = activity;
        bool stopped = false;
        while (!doneChanged.wait_for(lock, stopped ? kEngineGrace : limit,
                                     [this] { return response.has_value(); })) {
            if (uint64_t now = activity; now != seen && !stopped) {
                seen = now;
                continue;
            }
            if (stopped)
                return fail("No answer from the transfer engine");
            lock.unlock();
            cancel();
            lock.lock();
            stopped = true;
        }
        return std::move(*response);
    }
};

class CurlTransfer : public Transfer {
public:
    explicit CurlTransfer(std::shared_ptr<CurlDownloadJob> job) : m_job(std::move(job)) {}
    ~CurlTransfer() override {
        m_job->stopDelivering();
        if (!m_job->ended)
            m_job->cancel();
    }
    void cancel() override { m_job->cancel(); }
    const std::shared_ptr<CurlDownloadJob>& job() const { return m_job; }

private:
    std::shared_ptr<CurlDownloadJob> m_job;
};

} // namespace

namespace {

TransferEngine::Settings withExtraFile(const std::string& extraCaFile) {
    TransferEngine::Settings settings;
    if (!extraCaFile.empty())
        settings.extraAuthority = TrustStore::readFile(extraCaFile);
    return settings;
}

} // namespace

CurlHttp::CurlHttp(MainThread& mainThread, const std::string& extraCaFile)
    : CurlHttp(mainThread, withExtraFile(extraCaFile)) {}

CurlHttp::CurlHttp(MainThread& mainThread, TransferEngine::Settings settings)
    : m_mainThread(mainThread), m_engine(std::make_unique<TransferEngine>(std::move(settings))) {}

CurlHttp::~CurlHttp() {
    {
        std::lock_guard lock(m_mutex);
        for (const auto& weak : m_transfers) {
            if (auto job = weak.lock())
                job->delivering = false;
        }
        m_transfers.clear();
    }
    // Ends what still runs; their temporary files are removed before this returns.
    m_engine.reset();
}

std::optional<TrustStore::Pem> CurlHttp::builtInAuthority() {
    TrustStore::Pem pem{builtInAuthorityName(), builtInAuthorityText()};
    if (pem.text.empty())
        return std::nullopt;
    return pem;
}

void CurlHttp::setRunLog(TrustStore::Report runLog) {
    m_engine->setRunLog(std::move(runLog));
}

Expected<HttpResponse> CurlHttp::request(const HttpRequest& request) {
    auto job = std::make_shared<RequestJob>(request);
    m_engine->submit(job);
    return job->wait();
}

std::shared_ptr<CurlDownloadJob> CurlHttp::newJob(const HttpRequest& request,
                                                  const std::string& temporaryFolder,
                                                  TransferReceiver receiver) {
    auto job = std::make_shared<CurlDownloadJob>(m_mainThread, *m_engine, request, temporaryFolder,
                                                 std::move(receiver));
    std::lock_guard lock(m_mutex);
    std::erase_if(m_transfers, [](const auto& weak) { return weak.expired(); });
    m_transfers.push_back(job);
    return job;
}

std::unique_ptr<Transfer> CurlHttp::download(const HttpRequest& request,
                                             const std::string& temporaryFolder,
                                             TransferReceiver receiver) {
    auto job = newJob(request, temporaryFolder, std::move(receiver));
    m_engine->submit(job);
    return std::make_unique<CurlTransfer>(job);
}

std::unique_ptr<Transfer> CurlHttp::downloadAfter(Transfer& previous, const HttpRequest& request,
                                                  const std::string& temporaryFolder,
                                                  TransferReceiver receiver,
                                                  std::function<bool()> mayStart) {
    auto* before = dynamic_cast<CurlTransfer*>(&previous);
    if (before == nullptr)
        return nullptr;
    auto job = newJob(request, temporaryFolder, std::move(receiver));
    job->mayStart = std::move(mayStart);
    m_engine->attach(*job);
    before->job()->follow(job);
    return std::make_unique<CurlTransfer>(job);
}

} // namespace dravik
