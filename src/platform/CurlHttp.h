#pragma once

#include "platform/Http.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace dravik {

class MainThread;

// HTTPS client on libcurl. Requests run on the calling thread; each download runs on a thread of
// its own and delivers its callbacks through the main thread. Peers are always verified: against
// the system's certificate store and, when given, the certificates of an extra PEM bundle.
class CurlHttp : public Http {
public:
    explicit CurlHttp(MainThread& mainThread, const std::string& extraCaBundle = {});
    ~CurlHttp() override;
    CurlHttp(const CurlHttp&) = delete;
    CurlHttp& operator=(const CurlHttp&) = delete;

    // The extra CA bundle named at build time, empty when none.
    static std::string builtInCaBundle();

    HttpResponse request(const HttpRequest& request) override;
    std::unique_ptr<Transfer> download(const HttpRequest& request,
                                       const std::string& temporaryFolder,
                                       TransferCallbacks callbacks) override;

    struct Context;
    struct TransferState;

private:
    std::shared_ptr<Context> m_context;
    std::mutex m_mutex;
    std::vector<std::weak_ptr<TransferState>> m_transfers;
};

} // namespace dravik
