#include "platform/TransferEngine.h"

#include "common/Diagnostics.h"
#include "common/File.h"

#include <algorithm>
#include <curl/curl.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>
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

// The system's certificates followed by the extra ones.
std::string certificateBlob(const std::string& extraCaBundle) {
    std::string blob;
    const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
    if (info != nullptr && info->cainfo != nullptr) {
        if (Expected<std::string> system = File::readAll(info->cainfo))
            blob = std::move(*system) + "\n";
    }
    if (extraCaBundle.empty())
        return blob;
    Expected<std::string> extra = File::readAll(extraCaBundle);
    if (!extra || extra->empty()) {
        printDiagnostic("Cannot read the CA bundle " + extraCaBundle +
                        (extra ? std::string(": empty") : ": " + extra.error()));
        return blob;
    }
    return blob + *extra;
}

// libcurl hands its TLS contexts to this program's OpenSSL only when both are the same library.
bool curlUsesOurOpenSsl() {
    const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
    if (info == nullptr || info->ssl_version == nullptr)
        return false;
    std::string expected = "OpenSSL/" + std::to_string(OPENSSL_VERSION_MAJOR) + ".";
    return std::string(info->ssl_version).rfind(expected, 0) == 0 &&
           OpenSSL_version_num() >> 28 == OPENSSL_VERSION_MAJOR;
}

struct StoreDeleter {
    void operator()(X509_STORE* store) const { X509_STORE_free(store); }
};

std::unique_ptr<X509_STORE, StoreDeleter> parseStore(const std::string& pem) {
    std::unique_ptr<X509_STORE, StoreDeleter> store(X509_STORE_new());
    if (!store)
        return store;
    BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
    if (bio == nullptr)
        return nullptr;
    STACK_OF(X509_INFO)* infos = PEM_X509_INFO_read_bio(bio, nullptr, nullptr, nullptr);
    BIO_free(bio);
    if (infos == nullptr)
        return store; // nothing readable: an empty store, so every peer is refused
    for (int i = 0; i < sk_X509_INFO_num(infos); ++i) {
        X509_INFO* info = sk_X509_INFO_value(infos, i);
        if (info->x509 != nullptr)
            X509_STORE_add_cert(store.get(), info->x509);
    }
    sk_X509_INFO_pop_free(infos, X509_INFO_free);
    // As libcurl sets up its own stores: an intermediate certificate in the bundle is a trust
    // anchor of its own.
    X509_STORE_set_flags(store.get(), X509_V_FLAG_PARTIAL_CHAIN);
    return store;
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
    explicit Core(std::string extraCaBundle) : extraCaBundle(std::move(extraCaBundle)) {}

    std::string extraCaBundle;
    CURLM* multi = nullptr;
    CURLSH* share = nullptr;
    bool ownStore = false;
    bool storeRead = false;
    std::unique_ptr<X509_STORE, StoreDeleter> store;
    std::string caBlob; // used instead of the store when libcurl's TLS library is not ours
    std::vector<CURL*> idle;
    std::unordered_map<CURL*, std::shared_ptr<Job>> running;

    // Read on first use, on the engine's thread, so that start-up does not wait for it.
    X509_STORE* certificateStore() {
        if (!storeRead) {
            storeRead = true;
            store = parseStore(certificateBlob(extraCaBundle));
        }
        return store.get();
    }

    static CURLcode installStore(CURL*, void* sslContext, void* user) {
        X509_STORE* store = static_cast<Core*>(user)->certificateStore();
        if (store == nullptr || X509_STORE_up_ref(store) != 1)
            return CURLE_SSL_CACERT_BADFILE;
        SSL_CTX_set_cert_store(static_cast<SSL_CTX*>(sslContext), store);
        return CURLE_OK;
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
        if (curl_multi_add_handle(multi, easy) != CURLM_OK) {
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
};

TransferEngine::TransferEngine(std::string extraCaBundle)
    : m_core(std::make_unique<Core>(std::move(extraCaBundle))),
      m_wake(std::make_shared<TransferEngineWake>()) {
    initialiseCurl();
    Core& core = *m_core;
    core.multi = curl_multi_init();
    curl_multi_setopt(core.multi, CURLMOPT_MAXCONNECTS, kMaxConnections);
    core.share = curl_share_init();
    // Only the engine's thread uses the share, so it needs no locks.
    curl_share_setopt(core.share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
    curl_share_setopt(core.share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
    core.ownStore = curlUsesOurOpenSsl();
    if (!core.ownStore)
        core.caBlob = certificateBlob(core.extraCaBundle);
    m_wake->multi = core.multi;
}

TransferEngine::~TransferEngine() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    {
        std::lock_guard lock(m_wake->mutex);
        if (m_wake->multi != nullptr)
            curl_multi_wakeup(m_wake->multi);
    }
    if (m_thread.joinable())
        m_thread.join();
    // Jobs queued after the thread's last look end here.
    std::vector<std::shared_ptr<Job>> queued;
    {
        std::lock_guard lock(m_mutex);
        queued.swap(m_queue);
    }
    for (const auto& job : queued)
        job->end(nullptr, CURLE_ABORTED_BY_CALLBACK, "cancelled");
    {
        std::lock_guard lock(m_wake->mutex);
        m_wake->multi = nullptr;
    }
    Core& core = *m_core;
    for (CURL* easy : core.idle)
        curl_easy_cleanup(easy);
    curl_multi_cleanup(core.multi);
    curl_share_cleanup(core.share);
}

void TransferEngine::submit(std::shared_ptr<Job> job) {
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
    std::lock_guard lock(m_wake->mutex);
    curl_multi_wakeup(m_wake->multi);
}

void TransferEngine::run() {
    Core& core = *m_core;
    std::vector<std::shared_ptr<Job>> incoming;
    for (;;) {
        bool stopping = false;
        {
            std::lock_guard lock(m_mutex);
            incoming.swap(m_queue);
            stopping = m_stopping;
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
        curl_multi_perform(core.multi, &active);
        core.collectFinished();
        long waitMs = core.checkJobs();
        curl_multi_poll(core.multi, nullptr, 0, static_cast<int>(waitMs), nullptr);
    }
    std::vector<CURL*> left;
    for (const auto& entry : core.running)
        left.push_back(entry.first);
    for (CURL* easy : left)
        core.finish(easy, CURLE_ABORTED_BY_CALLBACK, "cancelled");
}

} // namespace dravik
