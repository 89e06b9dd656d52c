#pragma once

#include "platform/Http.h"

#include <curl/curl.h>
#include <string>

namespace dravik {

// What every exchange of CurlHttp sets on its handle besides the engine's connection options:
// the address, verified TLS only (redirects included), the method, the body and the headers.
// It keeps the header list and the error text that libcurl refers to, so it lives as long as the
// exchange.
class CurlRequestSetup {
public:
    CurlRequestSetup() = default;
    ~CurlRequestSetup();
    CurlRequestSetup(const CurlRequestSetup&) = delete;
    CurlRequestSetup& operator=(const CurlRequestSetup&) = delete;

    // An error text when the request cannot be sent. noCache asks every cache on the way to
    // pass the request on. The request's timeout limits the connection's set-up.
    std::string apply(CURL* easy, const HttpRequest& request, bool noCache);
    // The request's timeout in milliseconds, never negative.
    static long timeoutMs(const HttpRequest& request);
    // Why an exchange failed: libcurl's detailed text, else its text for the code.
    std::string describe(int curlResult) const;

private:
    bool addHeader(const std::string& line);

    curl_slist* m_headers = nullptr;
    char m_errorBuffer[CURL_ERROR_SIZE] = {};
};

} // namespace dravik
