#include "system/curl/TransferEngine.h"

#include "common/Diagnostics.h"
#include "system/LoadedLibraries.h"

#include <algorithm>
#include <curl/curl.h>
#include <fcntl.h>
#include <openssl/crypto.h>
#include <openssl/ssl.h>
#include <unordered_map>

namespace dravik {

// What a job needs to wake the engine: the multi handle while the engine runs.
struct TransferEngineWake {
    std::mutex mutex;
    CURLM* multi = nullptr;
};

namespace {

using Clock = TransferEngine::Clock;

// With nothing to do the engine still looks at its jobs this often.
constexpr long kLongestWaitMs = 1000;
constexpr long kMaxConnections = 8;
// Large receive buffer: fewer, larger pieces for the jobs to write.
constexpr long kReceiveBufferBytes = 256 * 1024;

void initialiseCurl() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// libcurl hands its TLS contexts to this program's OpenSSL only when both are the same library:
// libcurl names exactly the version text of ours, and the process holds one TLS library, so two
// copies of one version cannot be mixed up either.
bool curlUsesOurOpenSsl() {
    const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
    if (info == nullptr || info->ssl_version == nullptr)
        return false;
    std::string ours = std::string("OpenSSL/") + OpenSSL_version(OPENSSL_VERSION_STRING);
    return info->ssl_version == ours && LoadedLibraries::countNamed("libssl.") == 1;
}

// Whether libcurl's TLS library reads a CA blob besides its own CA file and folder (the OpenSSL
// family does); other libraries would trust the blob instead of the system.
bool curlAddsCaBlob() {
    const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
    if (info == nullptr || info->ssl_version == nullptr)
        return false;
    std::string_view name = info->ssl_version;
    return name.starts_with("OpenSSL/") || name.starts_with("LibreSSL/") ||
           name.starts_with("BoringSSL") || name.starts_with("quictls/");
}

// libcurl's sockets are closed on exec, so no program started meanwhile holds a connection.
int closeOnExec(void*, curl_socket_t socket, curlsocktype) {
    int flags = ::fcntl(socket, F_GETFD);
    if (flags < 0 || ::fcntl(socket, F_SETFD, flags | FD_CLOEXEC) < 0)
        return CURL_SOCKOPT_ERROR;
    return CURL_SOCKOPT_OK;
}

std::string multiFailure(int code) {
    return std::string("The transfer engine failed: ") +
           curl_multi_strerror(static_cast<CURLMcode>(code));
}

} // namespace

void TransferEngine::Job::cancel() {
    m_cancelled = true;
    if (!m_wake)
        return;
    std::lock_guard lock(m_wake->mutex);
    if (m_wake->multi != nullptr)
        curl_multi_wakeup(m_wake->multi);
}

// Everything the engine's thread owns.
struct TransferEngine::Core {
    explicit Core(Settings settings) : settings(std::move(settings)) {}

    Settings settings;
    CURLM* multi = nullptr;
    CURLSH* share = nullptr;
    bool ownStore = false;
    std::optional<TrustStore> trust;
    TrustStore::Report runLog;
    std::string caBlob; // the extra authority, when libcurl's TLS library is not ours
    std::vector<CURL*> idle;
    std::unordered_map<CURL*, std::shared_ptr<Job>> running;

    // Read on first use, on the engine's thread, so that start-up does not wait for it.
    X509_STORE* certificateStore() {
        if (!trust) {
            trust = TrustStore::build(
                settings.systemAuthorities.value_or(TrustStore::SystemSources::current()),
                settings.extraAuthority, runLog);
        }
        return trust->store();
    }

    static CURLcode installStore(CURL*, void* sslContext, void* user) {
        X509_STORE* store = static_cast<Core*>(user)->certificateStore();
        if (store == nullptr || X509_STORE_up_ref(store) != 1)
            return CURLE_SSL_CACERT_BADFILE;
        SSL_CTX_set_cert_store(static_cast<SSL_CTX*>(sslContext), store);
        return CURLE_OK;
    }

    // libcurl's result, or the one a test stages instead.
    int checked(int result) const {
        return settings.multiResult ? settings.multiResult(result) : result;
    }

    static CURLM* newMulti() {
        CURLM* multi = curl_multi_init();
        if (multi != nullptr)
            curl_multi_setopt(multi, CURLMOPT_MAXCONNECTS, kMaxConnections);
        return multi;
    }

    CURL* takeHandle() {
        if (idle.empty())
            return curl_easy_init();
        CURL* easy = idle.back();
        idle.pop_back();
        curl_easy_reset(easy);
        return easy;
    }

    // What the engine sets on every exchange before the job adds its own options.
    void prepare(CURL* easy) {
        curl_easy_setopt(easy, CURLOPT_SHARE, share);
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy, CURLOPT_TCP_NODELAY, 1L);
        curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, kReceiveBufferBytes);
        curl_easy_setopt(easy, CURLOPT_SOCKOPTFUNCTION, &closeOnExec);
        if (ownStore) {
            curl_easy_setopt(easy, CURLOPT_CAINFO, nullptr);
            curl_easy_setopt(easy, CURLOPT_CAPATH, nullptr);
            curl_easy_setopt(easy, CURLOPT_SSL_CTX_FUNCTION, &Core::installStore);
            curl_easy_setopt(easy, CURLOPT_SSL_CTX_DATA, this);
        } else if (!caBlob.empty()) {
            curl_blob blob{caBlob.data(), caBlob.size(), CURL_BLOB_NOCOPY};
            curl_easy_setopt(easy, CURLOPT_CAINFO_BLOB, &blob);
        }
    }

    void begin(const std::shared_ptr<Job>& job) {
        if (job->isCancelled()) {
            job->end(nullptr, CURLE_ABORTED_BY_CALLBACK, "cancelled"); // nothing was asked yet
            return;
        }
        CURL* easy = takeHandle();
        if (easy == nullptr) {
            job->end(nullptr, CURLE_OUT_OF_MEMORY, "Cannot create a transfer");
            return;
        }
        prepare(easy);
        if (std::string error = job->start(easy); !error.empty()) {
            idle.push_back(easy);
            job->end(nullptr, CURLE_OK, error);
            return;
        }
        job->lastData = Clock::now();
        if (multi == nullptr || curl_multi_add_handle(multi, easy) != CURLM_OK) {
            idle.push_back(easy);
            job->end(nullptr, CURLE_OK, "Cannot start a transfer");
            return;
        }
        running.emplace(easy, job);
    }

    void finish(CURL* easy, int result, const std::string& error) {
        auto found = running.find(easy);
        if (found == running.end())
            return;
        std::shared_ptr<Job> job = std::move(found->second);
        running.erase(found);
        if (multi != nullptr)
            curl_multi_remove_handle(multi, easy);
        job->end(easy, result, error);
        idle.push_back(easy);
    }

    // Ends cancelled jobs and those that waited too long for data; the wait until the next check.
    long checkJobs() {
        long waitMs = kLongestWaitMs;
        auto now = Clock::now();
        std::vector<std::pair<CURL*, std::string>> ended;
        for (const auto& [easy, job] : running) {
            if (job->isCancelled()) {
                ended.emplace_back(easy, "cancelled");
                continue;
            }
            long limit = static_cast<long>(job->idleTimeout.count());
            if (limit <= 0)
                continue;
            long idleMs = static_cast<long>(
                std::chrono::duration_cast<std::chrono::milliseconds>(now - job->lastData).count());
            if (idleMs >= limit)
                ended.emplace_back(easy,
                                   "Timed out after " + std::to_string(limit) + " ms without data");
            else
                waitMs = std::min(waitMs, limit - idleMs);
        }
        for (const auto& [easy, error] : ended)
            finish(easy, CURLE_ABORTED_BY_CALLBACK, error);
        return std::max(waitMs, 1L);
    }

    void collectFinished() {
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
            if (message->msg == CURLMSG_DONE)
                finish(message->easy_handle, message->data.result, {});
        }
    }

    // Ends every running job with the error.
    void endRunning(const std::string& error) {
        std::vector<CURL*> left;
        for (const auto& entry : running)
            left.push_back(entry.first);
        for (CURL* easy : left)
            finish(easy, CURLE_ABORTED_BY_CALLBACK, error);
    }
};

TransferEngine::TransferEngine(Settings settings)
    : m_core(std::make_unique<Core>(std::move(settings))),
      m_wake(std::make_shared<TransferEngineWake>()) {
    initialiseCurl();
    Core& core = *m_core;
    core.multi = Core::newMulti();
    core.share = curl_share_init();
    // Only the engine's thread uses the share, so it needs no locks.
    curl_share_setopt(core.share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
    curl_share_setopt(core.share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
    core.ownStore = curlUsesOurOpenSsl();
    if (!core.ownStore && core.settings.extraAuthority) {
        // libcurl's own defaults stay in place; the extra authority is added where its TLS
        // library takes it besides them.
        if (curlAddsCaBlob())
            core.caBlob = TrustStore::readableCertificates(*core.settings.extraAuthority);
        else
            printDiagnostic("The extra certificate authority " +
                            core.settings.extraAuthority->name +
                            " is not trusted: libcurl's TLS library would trust it instead of "
                            "the system's authorities");
    }
    m_wake->multi = core.multi;
}

TransferEngine::~TransferEngine() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_queueChanged.notify_all();
    {
        std::lock_guard lock(m_wake->mutex);
        if (m_wake->multi != nullptr)
            curl_multi_wakeup(m_wake->multi);
    }
    if (m_thread.joinable())
        m_thread.join();
    // Jobs queued after the thread's last look end here.
    for (const auto& job : takeQueued())
        job->end(nullptr, CURLE_ABORTED_BY_CALLBACK, "cancelled");
    {
        std::lock_guard lock(m_wake->mutex);
        m_wake->multi = nullptr;
    }
    Core& core = *m_core;
    for (CURL* easy : core.idle)
        curl_easy_cleanup(easy);
    if (core.multi != nullptr)
        curl_multi_cleanup(core.multi);
    curl_share_cleanup(core.share);
}

void TransferEngine::setRunLog(TrustStore::Report runLog) {
    std::lock_guard lock(m_mutex);
    m_runLog = std::move(runLog);
}

void TransferEngine::attach(Job& job) const {
    job.m_wake = m_wake;
}

void TransferEngine::submit(std::shared_ptr<Job> job) {
    if (job->m_wake != m_wake) // an attached job may be cancelled meanwhile, which reads it
        job->m_wake = m_wake;
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping) {
            job->end(nullptr, CURLE_ABORTED_BY_CALLBACK, "cancelled");
            return;
        }
        m_queue.push_back(std::move(job));
        if (!m_thread.joinable())
            m_thread = std::thread([this] { run(); });
    }
    // The engine's own thread looks at the queue before it waits again.
    if (std::this_thread::get_id() == m_threadId)
        return;
    m_queueChanged.notify_all();
    std::lock_guard lock(m_wake->mutex);
    if (m_wake->multi != nullptr)
        curl_multi_wakeup(m_wake->multi);
}

bool TransferEngine::anyQueued() {
    std::lock_guard lock(m_mutex);
    return !m_queue.empty();
}

std::vector<std::shared_ptr<TransferEngine::Job>> TransferEngine::takeQueued() {
    std::vector<std::shared_ptr<Job>> queued;
    std::lock_guard lock(m_mutex);
    queued.swap(m_queue);
    return queued;
}

// After a failure of the multi interface the engine waits for new work (or its end) instead of
// trying again at once, so a failure that lasts does not keep the thread busy.
void TransferEngine::waitAfterFailure() {
    std::unique_lock lock(m_mutex);
    m_queueChanged.wait_for(lock, std::chrono::milliseconds(kLongestWaitMs),
                            [this] { return m_stopping || !m_queue.empty(); });
}

void TransferEngine::run() {
    m_threadId = std::this_thread::get_id();
    Core& core = *m_core;
    std::vector<std::shared_ptr<Job>> incoming;
    for (;;) {
        bool stopping = false;
        {
            std::lock_guard lock(m_mutex);
            incoming.swap(m_queue);
            stopping = m_stopping;
            if (!core.runLog && m_runLog)
                core.runLog = m_runLog;
        }
        if (stopping) {
            for (const auto& job : incoming)
                job->end(nullptr, CURLE_ABORTED_BY_CALLBACK, "cancelled");
            break;
        }
        for (const auto& job : incoming)
            core.begin(job);
        incoming.clear();

        int active = 0;
        int result = core.checked(core.multi == nullptr ? CURLM_BAD_HANDLE
                                                        : curl_multi_perform(core.multi, &active));
        if (result == CURLM_OK) {
            core.collectFinished();
            long waitMs = core.checkJobs();
            // A job that ended may have submitted the next one (a download held back behind it).
            if (anyQueued())
                continue;
            result = core.checked(
                curl_multi_poll(core.multi, nullptr, 0, static_cast<int>(waitMs), nullptr));
        }
        if (result != CURLM_OK)
            recoverFromFailure(result);
    }
    core.endRunning("cancelled");
}

// The multi handle failed: every job running or queued ends with the reason, and a new handle
// takes the failed one's place for the jobs that follow.
void TransferEngine::recoverFromFailure(int result) {
    Core& core = *m_core;
    std::string error = multiFailure(result);
    printDiagnostic(error);
    core.endRunning(error);
    for (const auto& job : takeQueued())
        job->end(nullptr, CURLE_ABORTED_BY_CALLBACK, error);
    CURLM* fresh = Core::newMulti();
    {
        std::lock_guard lock(m_wake->mutex);
        m_wake->multi = fresh;
    }
    if (core.multi != nullptr)
        curl_multi_cleanup(core.multi);
    core.multi = fresh;
    waitAfterFailure();
}

} // namespace dravik
