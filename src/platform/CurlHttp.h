#pragma once

#include "platform/Http.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace dravik {

struct CurlDownloadJob;
class MainThread;
class TransferEngine;

// HTTPS client on libcurl. Every request and download runs on the client's transfer engine (one
// thread, one connection cache): requests block their calling thread until the engine has run
// them; downloads deliver their callbacks through the main thread. Peers are always verified:
// against the system's certificate store and, when given, the certificates of an extra PEM bundle.
// Nothing is kept on disk; connections and TLS sessions are reused while the client lives.
class CurlHttp : public Http {
public:
    explicit CurlHttp(MainThread& mainThread, const std::string& extraCaBundle = {});
    // Ends the transfers still running without delivering anything more, and stops the engine.
    ~CurlHttp() override;
    CurlHttp(const CurlHttp&) = delete;
    CurlHttp& operator=(const CurlHttp&) = delete;

    // The extra CA bundle named at build time, empty when none.
    static std::string builtInCaBundle();

    Expected<HttpResponse> request(const HttpRequest& request) override;
    std::unique_ptr<Transfer> download(const HttpRequest& request,
                                       const std::string& temporaryFolder,
                                       TransferReceiver receiver) override;

private:
    MainThread& m_mainThread;
    std::unique_ptr<TransferEngine> m_engine;
    std::mutex m_mutex;
    std::vector<std::weak_ptr<CurlDownloadJob>> m_transfers;
};

} // namespace dravik
