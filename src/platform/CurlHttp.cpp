#include "platform/CurlHttp.h"

#include "platform/MainThread.h"
#include "platform/TransferEngine.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <curl/curl.h>
#include <filesystem>
#include <unistd.h>

#ifndef DRAVIK_CA_BUNDLE
#define DRAVIK_CA_BUNDLE ""
#endif

namespace dravik {

namespace {

using Clock = std::chrono::steady_clock;

// Replies of synchronous requests are JSON documents; anything larger is not a reply we expect.
constexpr size_t kMaxReplyBytes = 64u * 1024u * 1024u;
// A download reports progress at most this often; the last figures always follow at the end.
constexpr auto kProgressInterval = std::chrono::milliseconds(50);
constexpr long kMaxRedirects = 10;
// Received data goes to the temporary file in pieces of up to this size.
constexpr size_t kWriteChunkBytes = 512u * 1024u;

struct HeaderList {
    curl_slist* list = nullptr;
    HeaderList() = default;
    HeaderList(const HeaderList&) = delete;
    HeaderList& operator=(const HeaderList&) = delete;
    ~HeaderList() { curl_slist_free_all(list); }
    bool add(const std::string& line) {
        curl_slist* extended = curl_slist_append(list, line.c_str());
        if (extended == nullptr)
            return false;
        list = extended;
        return true;
    }
};

bool isToken(const std::string& text) {
    if (text.empty())
        return false;
    return std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
               c == '-' || c == '_';
    });
}

bool hasLineBreak(const std::string& text) {
    return text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

std::string describe(CURLcode code, const char* errorBuffer) {
    if (errorBuffer != nullptr && errorBuffer[0] != '\0')
        return errorBuffer;
    return curl_easy_strerror(code);
}

// Applies what every exchange shares; the engine has set the certificates and the connection
// options. Returns an error text when the request cannot be sent.
std::string configure(CURL* easy, const HttpRequest& request, HeaderList& headers,
                      char* errorBuffer, bool noCache) {
    errorBuffer[0] = '\0';
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorBuffer);
    if (curl_easy_setopt(easy, CURLOPT_URL, request.url.c_str()) != CURLE_OK)
        return "Invalid address: " + request.url;
    // Plain HTTP is refused, redirects included: every exchange is verified TLS.
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(easy, CURLOPT_USERAGENT, "Dravik");

    const std::string& method = request.method;
    if (!isToken(method))
        return "Invalid request method: " + method;
    if (method == "GET" && request.body.empty()) {
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    } else if (method == "HEAD") {
        curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
    } else {
        if (method != "POST")
            curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, method.c_str());
        if (method == "POST" || !request.body.empty()) {
            curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE,
                             static_cast<curl_off_t>(request.body.size()));
            curl_easy_setopt(easy, CURLOPT_COPYPOSTFIELDS, request.body.data());
        }
    }

    for (const auto& [name, value] : request.headers) {
        if (name.empty() || hasLineBreak(name) || hasLineBreak(value) ||
            name.find(':') != std::string::npos)
            return "Invalid request header: " + name;
        // "Name;" is how libcurl is told to send a header with an empty value.
        if (!headers.add(value.empty() ? name + ";" : name + ": " + value))
            return "Out of memory";
    }
    if (noCache && !(headers.add("Cache-Control: no-cache") && headers.add("Pragma: no-cache")))
        return "Out of memory";
    // No "Expect: 100-continue" round trip before a body.
    if (!headers.add("Expect:"))
        return "Out of memory";
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers.list);
    return {};
}

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

} // namespace

// One download: the engine's side of the transfer, and what the main thread has been told so far.
struct CurlHttp::DownloadJob : TransferEngine::Job, std::enable_shared_from_this<DownloadJob> {
    DownloadJob(MainThread& mainThread, HttpRequest request, std::string folder,
                TransferReceiver receiver)
        : mainThread(mainThread), request(std::move(request)), folder(std::move(folder)),
          receiver(std::move(receiver)) {}

    MainThread& mainThread;
    const HttpRequest request;
    const std::string folder;
    const TransferReceiver receiver;

    // Cleared when the Transfer or the client goes away: nothing is delivered after that.
    std::atomic<bool> delivering{true};

    // Engine thread only.
    CURL* easy = nullptr;
    HeaderList headers;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    int fd = -1;
    std::string temporaryFile;
    std::string pending; // received, not yet written
    int64_t written = 0;
    int64_t expected = -1;
    bool statusChecked = false;
    bool rejected = false;
    std::string writeError;
    Clock::time_point lastProgressPost;

    // Handed from the engine to the main thread.
    std::atomic<int64_t> reportedWritten{0};
    std::atomic<int64_t> reportedExpected{-1};
    std::atomic<bool> progressPending{false};

    // Main thread only.
    int64_t deliveredWritten = 0;
    int64_t deliveredExpected = -1;

    std::string start(CURL* handle) override;
    void end(CURL* handle, int curlResult, const std::string& engineError) override;

    bool receiverAlive();
    std::string outcome(int curlResult, const std::string& engineError, long code) const;
    bool flush();
    void reportProgress();
    void deliverProgress();
    static size_t onData(char* data, size_t size, size_t count, void* user);
    static size_t onHeader(char* data, size_t size, size_t count, void* user);
};

std::string CurlHttp::DownloadJob::start(CURL* handle) {
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    std::string pattern = folder + "/.download-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    fd = ::mkstemp(name.data());
    if (fd < 0)
        return "Cannot create a temporary file in " + folder + ": " + std::strerror(errno);
    temporaryFile = name.data();

    easy = handle;
    if (std::string error = configure(easy, request, headers, errorBuffer, false); !error.empty())
        return error;
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &DownloadJob::onData);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &DownloadJob::onHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
    long timeoutMs = static_cast<long>(std::max<int64_t>(0, request.timeout.count()));
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, timeoutMs);
    // The timeout counts time without data, as a large file may take longer than it in all.
    idleTimeout = std::chrono::milliseconds(timeoutMs);
    // The first figures follow one interval after the start: a small file is done before then
    // and reports once, at its end.
    lastProgressPost = Clock::now();
    return {};
}

size_t CurlHttp::DownloadJob::onHeader(char*, size_t size, size_t count, void* user) {
    static_cast<DownloadJob*>(user)->lastData = Clock::now();
    return size * count;
}

size_t CurlHttp::DownloadJob::onData(char* data, size_t size, size_t count, void* user) {
    auto* self = static_cast<DownloadJob*>(user);
    size_t bytes = size * count;
    self->lastData = Clock::now();
    if (!self->statusChecked) {
        self->statusChecked = true;
        long status = 0;
        curl_easy_getinfo(self->easy, CURLINFO_RESPONSE_CODE, &status);
        if (status < 200 || status > 299) {
            // The body of a refused request is not wanted; stop reading it.
            self->rejected = true;
            return bytes == 0 ? 1 : 0;
        }
        curl_off_t length = -1;
        curl_easy_getinfo(self->easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
        self->expected = length >= 0 ? static_cast<int64_t>(length) : -1;
        size_t first = self->expected > 0 ? static_cast<size_t>(self->expected) : bytes;
        self->pending.reserve(std::min(first, kWriteChunkBytes));
    }
    if (self->isCancelled())
        return bytes == 0 ? 1 : 0;
    self->pending.append(data, bytes);
    if (self->pending.size() >= kWriteChunkBytes && !self->flush())
        return bytes == 0 ? 1 : 0;
    self->written += static_cast<int64_t>(bytes);
    self->reportProgress();
    return bytes;
}

// Writes what was received so far to the temporary file.
bool CurlHttp::DownloadJob::flush() {
    size_t done = 0;
    while (done < pending.size()) {
        ssize_t n = ::write(fd, pending.data() + done, pending.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            writeError = n < 0 ? std::strerror(errno) : "nothing written";
            return false;
        }
        done += static_cast<size_t>(n);
    }
    pending.clear();
    return true;
}

void CurlHttp::DownloadJob::reportProgress() {
    reportedWritten = written;
    reportedExpected = expected;
    auto now = Clock::now();
    if (now - lastProgressPost < kProgressInterval)
        return;
    if (progressPending.exchange(true))
        return; // the main thread has not taken the previous figures yet
    lastProgressPost = now;
    mainThread.post([self = shared_from_this()] {
        self->progressPending = false;
        self->deliverProgress();
    });
}

// Main thread: whether anything may still be delivered. A transfer whose receiver has gone is not
// wanted any more and stops.
bool CurlHttp::DownloadJob::receiverAlive() {
    if (!delivering)
        return false;
    if (!receiver.context.expired())
        return true;
    delivering = false;
    cancel();
    return false;
}

void CurlHttp::DownloadJob::deliverProgress() {
    if (!receiverAlive() || !receiver.progress)
        return;
    int64_t nowWritten = reportedWritten;
    int64_t nowExpected = reportedExpected;
    if (nowWritten == 0 || (nowWritten == deliveredWritten && nowExpected == deliveredExpected))
        return;
    deliveredWritten = nowWritten;
    deliveredExpected = nowExpected;
    receiver.progress(nowWritten, nowExpected);
}

std::string CurlHttp::DownloadJob::outcome(int curlResult, const std::string& engineError,
                                           long code) const {
    if (!engineError.empty())
        return engineError;
    if (isCancelled() && curlResult != CURLE_OK)
        return "cancelled";
    if (rejected || (curlResult == CURLE_OK && (code < 200 || code > 299)))
        return "HTTP " + std::to_string(code);
    if (!writeError.empty())
        return "Cannot write " + temporaryFile + ": " + writeError;
    if (curlResult != CURLE_OK)
        return describe(static_cast<CURLcode>(curlResult), errorBuffer);
    return {};
}

void CurlHttp::DownloadJob::end(CURL* handle, int curlResult, const std::string& engineError) {
    long code = 0;
    if (handle != nullptr)
        curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &code);
    easy = nullptr;
    std::optional<int> status;
    if (code > 0)
        status = static_cast<int>(code);
    std::string error = outcome(curlResult, engineError, code);
    if (error.empty() && !flush())
        error = "Cannot write " + temporaryFile + ": " + writeError;
    if (fd >= 0) {
        if (::close(fd) != 0 && error.empty())
            error = "Cannot write " + temporaryFile + ": " + std::strerror(errno);
        fd = -1;
    }
    if ((!error.empty() || !delivering) && !temporaryFile.empty()) {
        ::unlink(temporaryFile.c_str());
        temporaryFile.clear();
    }
    if (!delivering)
        return;
    reportedWritten = written;
    reportedExpected = expected;
    mainThread.post(
        [self = shared_from_this(), result = TransferResult{status, error, temporaryFile}] {
            self->deliverProgress();
            if (self->receiverAlive() && self->receiver.completed)
                self->receiver.completed(result);
            if (!result.file.empty())
                ::unlink(result.file.c_str()); // whatever the receiver did not move away
        });
}

namespace {

// One synchronous request: the engine runs it while the calling thread waits for the answer.
struct RequestJob : TransferEngine::Job {
    explicit RequestJob(const HttpRequest& request) : request(request) {}

    const HttpRequest& request;
    HeaderList headers;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    Reply reply;

    std::mutex mutex;
    std::condition_variable doneChanged;
    bool done = false;
    HttpResponse response;

    std::string start(CURL* easy) override {
        if (std::string error = configure(easy, request, headers, errorBuffer, true);
            !error.empty())
            return error;
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &collectReply);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, &reply);
        long timeoutMs = static_cast<long>(std::max<int64_t>(0, request.timeout.count()));
        curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, timeoutMs);
        curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, timeoutMs);
        return {};
    }

    void end(CURL* easy, int curlResult, const std::string& engineError) override {
        HttpResponse answer;
        if (!engineError.empty()) {
            answer.error = engineError;
        } else if (curlResult != CURLE_OK) {
            answer.error = reply.tooLarge
                               ? std::string("The reply is too large")
                               : describe(static_cast<CURLcode>(curlResult), errorBuffer);
        } else {
            long status = 0;
            curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
            answer.status = static_cast<int>(status);
            if (!reply.body.empty())
                answer.body = std::move(reply.body);
        }
        std::lock_guard lock(mutex);
        response = std::move(answer);
        done = true;
        doneChanged.notify_all();
    }

    HttpResponse wait() {
        std::unique_lock lock(mutex);
        doneChanged.wait(lock, [this] { return done; });
        return std::move(response);
    }
};

class CurlTransfer : public Transfer {
public:
    explicit CurlTransfer(std::shared_ptr<CurlHttp::DownloadJob> job) : m_job(std::move(job)) {}
    ~CurlTransfer() override {
        m_job->delivering = false;
        m_job->cancel();
    }
    void cancel() override { m_job->cancel(); }

private:
    std::shared_ptr<CurlHttp::DownloadJob> m_job;
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

HttpResponse CurlHttp::request(const HttpRequest& request) {
    auto job = std::make_shared<RequestJob>(request);
    m_engine->submit(job);
    return job->wait();
}

std::unique_ptr<Transfer> CurlHttp::download(const HttpRequest& request,
                                             const std::string& temporaryFolder,
                                             TransferReceiver receiver) {
    auto job =
        std::make_shared<DownloadJob>(m_mainThread, request, temporaryFolder, std::move(receiver));
    {
        std::lock_guard lock(m_mutex);
        std::erase_if(m_transfers, [](const auto& weak) { return weak.expired(); });
        m_transfers.push_back(job);
    }
    m_engine->submit(job);
    return std::make_unique<CurlTransfer>(job);
}

} // namespace dravik
