#include "platform/CurlHttp.h"

#include "platform/CurlDownloadJob.h"
#include "platform/CurlRequestSetup.h"
#include "platform/TransferEngine.h"

#include <condition_variable>
#include <curl/curl.h>
#include <mutex>
#include <optional>

#ifndef DRAVIK_CA_BUNDLE
#define DRAVIK_CA_BUNDLE ""
#endif

namespace dravik {

namespace {

// Replies of synchronous requests are JSON documents; anything larger is not a reply we expect.
constexpr size_t kMaxReplyBytes = 64u * 1024u * 1024u;

struct Reply {
    std::string body;
    bool tooLarge = false;
};

size_t collectReply(char* data, size_t size, size_t count, void* user) {
    auto* reply = static_cast<Reply*>(user);
    size_t bytes = size * count;
    if (reply->body.size() + bytes > kMaxReplyBytes) {
        reply->tooLarge = true;
        return 0;
    }
    reply->body.append(data, bytes);
    return bytes;
}

// One synchronous request: the engine runs it while the calling thread waits for the answer.
struct RequestJob : TransferEngine::Job {
    explicit RequestJob(const HttpRequest& request) : request(request) {}

    const HttpRequest& request;
    CurlRequestSetup setup;
    Reply reply;

    std::mutex mutex;
    std::condition_variable doneChanged;
    std::optional<Expected<HttpResponse>> response; // set when the exchange has ended

    std::string start(CURL* easy) override {
        if (std::string error = setup.apply(easy, request, true); !error.empty())
            return error;
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &collectReply);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, &reply);
        curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, CurlRequestSetup::timeoutMs(request));
        return {};
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
            return fail(reply.tooLarge ? std::string("The reply is too large")
                                       : setup.describe(curlResult));
        long status = 0;
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
        HttpResponse answer{static_cast<int>(status), std::nullopt};
        if (!reply.body.empty())
            answer.body = std::move(reply.body);
        return answer;
    }

    Expected<HttpResponse> wait() {
        std::unique_lock lock(mutex);
        doneChanged.wait(lock, [this] { return response.has_value(); });
        return std::move(*response);
    }
};

class CurlTransfer : public Transfer {
public:
    explicit CurlTransfer(std::shared_ptr<CurlDownloadJob> job) : m_job(std::move(job)) {}
    ~CurlTransfer() override {
        m_job->delivering = false;
        m_job->cancel();
    }
    void cancel() override { m_job->cancel(); }

private:
    std::shared_ptr<CurlDownloadJob> m_job;
};

} // namespace

CurlHttp::CurlHttp(MainThread& mainThread, const std::string& extraCaBundle)
    : m_mainThread(mainThread), m_engine(std::make_unique<TransferEngine>(extraCaBundle)) {}

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

std::string CurlHttp::builtInCaBundle() {
    return DRAVIK_CA_BUNDLE;
}

Expected<HttpResponse> CurlHttp::request(const HttpRequest& request) {
    auto job = std::make_shared<RequestJob>(request);
    m_engine->submit(job);
    return job->wait();
}

std::unique_ptr<Transfer> CurlHttp::download(const HttpRequest& request,
                                             const std::string& temporaryFolder,
                                             TransferReceiver receiver) {
    auto job = std::make_shared<CurlDownloadJob>(m_mainThread, request, temporaryFolder,
                                                 std::move(receiver));
    {
        std::lock_guard lock(m_mutex);
        std::erase_if(m_transfers, [](const auto& weak) { return weak.expired(); });
        m_transfers.push_back(job);
    }
    m_engine->submit(job);
    return std::make_unique<CurlTransfer>(job);
}

} // namespace dravik
