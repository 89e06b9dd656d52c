#include "platform/CurlHttp.h"

#include "platform/MainThread.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <curl/curl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
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
constexpr long kIdlePollMs = 1000;

void initialiseCurl() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool readWholeFile(const std::string& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    bytes = buffer.str();
    return true;
}

struct EasyDeleter {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;

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

} // namespace

struct CurlHttp::Context {
    Context(MainThread& mainThread, std::string caBlob)
        : mainThread(mainThread), caBlob(std::move(caBlob)) {}
    MainThread& mainThread;
    // System certificates followed by the extra ones; empty when only the system store is used.
    std::string caBlob;
};

namespace {

// Applies what every exchange shares. Returns an error text when the request cannot be sent.
std::string configure(CURL* easy, const HttpRequest& request, const CurlHttp::Context& context,
                      HeaderList& headers, char* errorBuffer, bool noCache) {
    errorBuffer[0] = '\0';
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    if (curl_easy_setopt(easy, CURLOPT_URL, request.url.c_str()) != CURLE_OK)
        return "Invalid address: " + request.url;
    // Plain HTTP is refused, redirects included: every exchange is verified TLS.
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!context.caBlob.empty()) {
        curl_blob blob{const_cast<char*>(context.caBlob.data()), context.caBlob.size(),
                       CURL_BLOB_NOCOPY};
        curl_easy_setopt(easy, CURLOPT_CAINFO_BLOB, &blob);
    }
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

// One download: the worker thread's transfer, and what the main thread has been told so far.
struct CurlHttp::TransferState : std::enable_shared_from_this<CurlHttp::TransferState> {
    TransferState(std::shared_ptr<Context> context, HttpRequest request, std::string folder,
                  TransferCallbacks callbacks)
        : context(std::move(context)), request(std::move(request)), folder(std::move(folder)),
          callbacks(std::move(callbacks)) {}

    std::shared_ptr<Context> context;
    const HttpRequest request;
    const std::string folder;
    const TransferCallbacks callbacks;

    std::atomic<bool> cancelled{false};
    // Cleared when the Transfer or the client goes away: nothing is delivered after that.
    std::atomic<bool> delivering{true};

    std::mutex multiMutex;
    CURLM* multi = nullptr; // set while the transfer runs, so that cancel can wake it

    std::mutex threadMutex;
    std::thread thread;

    // Worker thread only.
    CURL* easy = nullptr;
    int fd = -1;
    std::string temporaryFile;
    int64_t written = 0;
    int64_t expected = -1;
    bool statusChecked = false;
    bool rejected = false;
    std::string writeError;
    std::optional<int> status; // of the final response, when one came
    Clock::time_point lastData;
    Clock::time_point lastProgressPost;

    // Handed from the worker to the main thread.
    std::atomic<int64_t> reportedWritten{0};
    std::atomic<int64_t> reportedExpected{-1};
    std::atomic<bool> progressPending{false};

    // Main thread only.
    int64_t deliveredWritten = 0;
    int64_t deliveredExpected = -1;

    void cancel() {
        cancelled = true;
        std::lock_guard lock(multiMutex);
        if (multi != nullptr)
            curl_multi_wakeup(multi);
    }

    void shutdown() {
        delivering = false;
        cancel();
        std::lock_guard lock(threadMutex);
        if (!thread.joinable())
            return;
        // A main thread that runs posted work inline may end the transfer from its own callback.
        if (thread.get_id() == std::this_thread::get_id())
            thread.detach();
        else
            thread.join();
    }

    void run();
    std::string perform(CURLcode& result);
    void reportProgress();
    void deliverProgress();
    static size_t onData(char* data, size_t size, size_t count, void* user);
    static size_t onHeader(char* data, size_t size, size_t count, void* user);
};

size_t CurlHttp::TransferState::onHeader(char*, size_t size, size_t count, void* user) {
    static_cast<TransferState*>(user)->lastData = Clock::now();
    return size * count;
}

size_t CurlHttp::TransferState::onData(char* data, size_t size, size_t count, void* user) {
    auto* self = static_cast<TransferState*>(user);
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
    }
    if (self->cancelled)
        return bytes == 0 ? 1 : 0;
    size_t done = 0;
    while (done < bytes) {
        ssize_t n = ::write(self->fd, data + done, bytes - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            self->writeError = n < 0 ? std::strerror(errno) : "nothing written";
            return bytes == 0 ? 1 : 0;
        }
        done += static_cast<size_t>(n);
    }
    self->written += static_cast<int64_t>(bytes);
    self->reportProgress();
    return bytes;
}

void CurlHttp::TransferState::reportProgress() {
    reportedWritten = written;
    reportedExpected = expected;
    auto now = Clock::now();
    if (now - lastProgressPost < kProgressInterval)
        return;
    if (progressPending.exchange(true))
        return; // the main thread has not taken the previous figures yet
    lastProgressPost = now;
    context->mainThread.post([self = shared_from_this()] {
        self->progressPending = false;
        self->deliverProgress();
    });
}

void CurlHttp::TransferState::deliverProgress() {
    if (!delivering || !callbacks.progress)
        return;
    int64_t nowWritten = reportedWritten;
    int64_t nowExpected = reportedExpected;
    if (nowWritten == 0 || (nowWritten == deliveredWritten && nowExpected == deliveredExpected))
        return;
    deliveredWritten = nowWritten;
    deliveredExpected = nowExpected;
    callbacks.progress(nowWritten, nowExpected);
}

std::string CurlHttp::TransferState::perform(CURLcode& result) {
    char errorBuffer[CURL_ERROR_SIZE];
    EasyHandle handle(curl_easy_init());
    if (!handle)
        return "Cannot create a transfer";
    easy = handle.get();
    struct Forget {
        CURL*& easy;
        ~Forget() { easy = nullptr; }
    } forget{easy};
    HeaderList headers;
    if (std::string error = configure(easy, request, *context, headers, errorBuffer, false);
        !error.empty())
        return error;
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &TransferState::onData);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &TransferState::onHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
    long timeoutMs = static_cast<long>(std::max<int64_t>(0, request.timeout.count()));
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, timeoutMs);

    CURLM* created = curl_multi_init();
    if (created == nullptr)
        return "Cannot create a transfer";
    curl_multi_add_handle(created, easy);
    {
        std::lock_guard lock(multiMutex);
        multi = created;
    }

    // The timeout counts time without data, as a large file may take longer than it in all.
    std::string error;
    bool done = false;
    lastData = Clock::now();
    while (!done) {
        if (cancelled) {
            error = "cancelled";
            break;
        }
        int running = 0;
        CURLMcode code = curl_multi_perform(created, &running);
        if (code != CURLM_OK) {
            error = curl_multi_strerror(code);
            break;
        }
        if (running == 0) {
            int left = 0;
            result = CURLE_GOT_NOTHING;
            while (CURLMsg* message = curl_multi_info_read(created, &left)) {
                if (message->msg == CURLMSG_DONE)
                    result = message->data.result;
            }
            done = true;
            break;
        }
        long waitMs = kIdlePollMs;
        if (timeoutMs > 0) {
            auto idle =
                std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - lastData);
            if (idle.count() >= timeoutMs) {
                error = "Timed out after " + std::to_string(timeoutMs) + " ms without data";
                break;
            }
            waitMs = std::min<long>(waitMs, timeoutMs - static_cast<long>(idle.count()));
        }
        curl_multi_poll(created, nullptr, 0, static_cast<int>(std::max<long>(waitMs, 1)), nullptr);
    }

    long code = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &code);
    if (code > 0)
        status = static_cast<int>(code);
    {
        std::lock_guard lock(multiMutex);
        multi = nullptr;
    }
    curl_multi_remove_handle(created, easy);
    curl_multi_cleanup(created);

    if (error.empty() && cancelled && result != CURLE_OK)
        error = "cancelled";
    if (!error.empty())
        return error;
    if (rejected || (result == CURLE_OK && (code < 200 || code > 299)))
        return "HTTP " + std::to_string(code);
    if (!writeError.empty())
        return "Cannot write " + temporaryFile + ": " + writeError;
    if (result != CURLE_OK)
        return describe(result, errorBuffer);
    return {};
}

void CurlHttp::TransferState::run() {
    std::string error;
    CURLcode result = CURLE_OK;
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    std::string pattern = folder + "/.download-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    fd = ::mkstemp(name.data());
    if (fd < 0) {
        error = "Cannot create a temporary file in " + folder + ": " + std::strerror(errno);
    } else {
        temporaryFile = name.data();
        error = perform(result);
        if (::close(fd) != 0 && error.empty())
            error = "Cannot write " + temporaryFile + ": " + std::strerror(errno);
        fd = -1;
    }
    if (!error.empty() && !temporaryFile.empty()) {
        ::unlink(temporaryFile.c_str());
        temporaryFile.clear();
    }

    if (!delivering) {
        if (!temporaryFile.empty())
            ::unlink(temporaryFile.c_str());
        return;
    }
    reportedWritten = written;
    reportedExpected = expected;
    context->mainThread.post(
        [self = shared_from_this(), error, file = temporaryFile, answered = status] {
            self->deliverProgress();
            if (!file.empty()) {
                if (self->delivering && self->callbacks.finished)
                    self->callbacks.finished(file);
                ::unlink(file.c_str()); // whatever the receiver did not move away
            }
            if (self->delivering && self->callbacks.completed)
                self->callbacks.completed(error, answered);
        });
}

namespace {

class CurlTransfer : public Transfer {
public:
    explicit CurlTransfer(std::shared_ptr<CurlHttp::TransferState> state)
        : m_state(std::move(state)) {}
    ~CurlTransfer() override { m_state->shutdown(); }
    void cancel() override { m_state->cancel(); }

private:
    std::shared_ptr<CurlHttp::TransferState> m_state;
};

std::string certificateBlob(const std::string& extraCaBundle) {
    if (extraCaBundle.empty())
        return {};
    std::string extra;
    if (!readWholeFile(extraCaBundle, extra) || extra.empty()) {
        std::printf("Cannot read the CA bundle %s\n", extraCaBundle.c_str());
        return {};
    }
    // An explicit bundle replaces libcurl's default file, so the system's certificates go first.
    std::string blob;
    const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
    if (info != nullptr && info->cainfo != nullptr && readWholeFile(info->cainfo, blob))
        blob += "\n";
    return blob + extra;
}

} // namespace

CurlHttp::CurlHttp(MainThread& mainThread, const std::string& extraCaBundle) {
    initialiseCurl();
    m_context = std::make_shared<Context>(mainThread, certificateBlob(extraCaBundle));
}

CurlHttp::~CurlHttp() {
    std::vector<std::shared_ptr<TransferState>> running;
    {
        std::lock_guard lock(m_mutex);
        for (const auto& weak : m_transfers) {
            if (auto state = weak.lock())
                running.push_back(std::move(state));
        }
        m_transfers.clear();
    }
    for (const auto& state : running)
        state->shutdown();
}

std::string CurlHttp::builtInCaBundle() {
    return DRAVIK_CA_BUNDLE;
}

HttpResponse CurlHttp::request(const HttpRequest& request) {
    HttpResponse response;
    EasyHandle handle(curl_easy_init());
    if (!handle) {
        response.error = "Cannot create a transfer";
        return response;
    }
    CURL* easy = handle.get();
    char errorBuffer[CURL_ERROR_SIZE];
    HeaderList headers;
    if (std::string error = configure(easy, request, *m_context, headers, errorBuffer, true);
        !error.empty()) {
        response.error = error;
        return response;
    }
    Reply reply;
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &collectReply);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &reply);
    long timeoutMs = static_cast<long>(std::max<int64_t>(0, request.timeout.count()));
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, timeoutMs);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, timeoutMs);

    CURLcode result = curl_easy_perform(easy);
    if (result != CURLE_OK) {
        response.error =
            reply.tooLarge ? std::string("The reply is too large") : describe(result, errorBuffer);
        return response;
    }
    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    response.status = static_cast<int>(status);
    if (!reply.body.empty())
        response.body = std::move(reply.body);
    return response;
}

std::unique_ptr<Transfer> CurlHttp::download(const HttpRequest& request,
                                             const std::string& temporaryFolder,
                                             TransferCallbacks callbacks) {
    auto state =
        std::make_shared<TransferState>(m_context, request, temporaryFolder, std::move(callbacks));
    {
        std::lock_guard lock(m_mutex);
        std::erase_if(m_transfers, [](const auto& weak) { return weak.expired(); });
        m_transfers.push_back(state);
    }
    {
        std::lock_guard lock(state->threadMutex);
        state->thread = std::thread([state] { state->run(); });
    }
    return std::make_unique<CurlTransfer>(state);
}

} // namespace dravik
