#pragma once

#include "platform/Http.h"
#include "system/curl/TransferEngine.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace dravik {

struct CurlDownloadJob;
class MainThread;

// HTTPS client on libcurl. Every request and download runs on the client's transfer engine (one
// thread, one connection cache): requests block their calling thread until the engine has run
// them; downloads deliver their callbacks through the main thread. Peers are always verified:
// against the system's certificate authorities and, when given, an extra authority. Nothing is
// kept on disk; connections and TLS sessions are reused while the client lives. A request whose
// exchange receives nothing for its timeout ends, and so does its caller's wait.
class CurlHttp : public Http {
public:
    // extraCaFile: a PEM file read now, whose certificates are trusted besides the system's.
    explicit CurlHttp(MainThread& mainThread, const std::string& extraCaFile = {});
    CurlHttp(MainThread& mainThread, TransferEngine::Settings settings);
    // Ends the transfers still running without delivering anything more, and stops the engine.
    ~CurlHttp() override;
    CurlHttp(const CurlHttp&) = delete;
    CurlHttp& operator=(const CurlHttp&) = delete;

    // The extra authority built into the program, none when the build named none.
    static std::optional<TrustStore::Pem> builtInAuthority();
    // Where the engine's run-log lines go; set before the first exchange.
    void setRunLog(TrustStore::Report runLog);

    Expected<HttpResponse> request(const HttpRequest& request) override;
    std::unique_ptr<Transfer> download(const HttpRequest& request,
                                       const std::string& temporaryFolder,
                                       TransferReceiver receiver) override;
    std::unique_ptr<Transfer> downloadAfter(Transfer& previous, const HttpRequest& request,
                                            const std::string& temporaryFolder,
                                            TransferReceiver receiver,
                                            std::function<bool()> mayStart) override;

private:
    std::shared_ptr<CurlDownloadJob> newJob(const HttpRequest& request,
                                            const std::string& temporaryFolder,
                                            TransferReceiver receiver);

    MainThread& m_mainThread;
    std::unique_ptr<TransferEngine> m_engine;
    std::mutex m_mutex;
    std::vector<std::weak_ptr<CurlDownloadJob>> m_transfers;
};

} // namespace dravik
