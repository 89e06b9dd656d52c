#include "system/curl/CurlRequestSetup.h"

#include <algorithm>
#include <cstdint>

namespace dravik {

namespace {

constexpr long kMaxRedirects = 10;

bool isToken(const std::string& text) {
    if (text.empty())
        return false;
    return std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
               c == '-' || c == '_';
    });
}

bool isRepeatable(const HttpRequest& request) {
    return (request.method == "GET" || request.method == "HEAD") && request.body.empty();
}

bool hasLineBreak(const std::string& text) {
    return text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

} // namespace

CurlRequestSetup::~CurlRequestSetup() {
    curl_slist_free_all(m_headers);
}

bool CurlRequestSetup::addHeader(const std::string& line) {
    curl_slist* extended = curl_slist_append(m_headers, line.c_str());
    if (extended == nullptr)
        return false;
    m_headers = extended;
    return true;
}

long CurlRequestSetup::timeoutMs(const HttpRequest& request) {
    return static_cast<long>(std::max<int64_t>(0, request.timeout.count()));
}

std::string CurlRequestSetup::describe(int curlResult) const {
    if (m_errorBuffer[0] != '\0')
        return m_errorBuffer;
    return curl_easy_strerror(static_cast<CURLcode>(curlResult));
}

std::string CurlRequestSetup::apply(CURL* easy, const HttpRequest& request, bool noCache) {
    // A job that asks again sets its handle up again.
    curl_slist_free_all(m_headers);
    m_headers = nullptr;
    m_errorBuffer[0] = '\0';
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, m_errorBuffer);
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
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, timeoutMs(request));

    const std::string& method = request.method;
    if (!isToken(method))
        return "Invalid request method: " + method;
    // libcurl sends a request again, on a new connection, when a reused one closes before any
    // answer came. A request with a body (the sign-in) must not go out twice, so it never takes
    // a reused connection; GET and HEAD may.
    if (!isRepeatable(request))
        curl_easy_setopt(easy, CURLOPT_FRESH_CONNECT, 1L);
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
        std::string line = name;
        line += value.empty() ? ";" : ": ";
        line += value;
        if (!addHeader(line))
            return "Out of memory";
    }
    if (noCache && !(addHeader("Cache-Control: no-cache") && addHeader("Pragma: no-cache")))
        return "Out of memory";
    // No "Expect: 100-continue" round trip before a body.
    if (!addHeader("Expect:"))
        return "Out of memory";
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, m_headers);
    return {};
}

} // namespace dravik
