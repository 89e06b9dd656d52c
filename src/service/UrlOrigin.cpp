#include "service/UrlOrigin.h"

#include "common/Unicode.h"

namespace dravik {

namespace {

std::optional<int> parsePort(std::string_view text, int defaultPort) {
    if (text.empty())
        return defaultPort;
    int port = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        port = port * 10 + (c - '0');
        if (port > 65535)
            return std::nullopt;
    }
    return port;
}

} // namespace

std::optional<UrlOrigin> UrlOrigin::parse(std::string_view url) {
    auto schemeEnd = url.find("://");
    if (schemeEnd == std::string_view::npos)
        return std::nullopt;
    std::string scheme = asciiLower(url.substr(0, schemeEnd));
    int defaultPort = scheme == "https" ? 443 : scheme == "http" ? 80 : 0;
    if (defaultPort == 0)
        return std::nullopt;

    std::string_view authority = url.substr(schemeEnd + 3);
    authority = authority.substr(0, authority.find_first_of("/?#"));
    // Whatever stands before the last "@" is user information, not the host.
    if (auto at = authority.rfind('@'); at != std::string_view::npos)
        authority.remove_prefix(at + 1);

    std::string_view host = authority;
    std::string_view port;
    if (authority.starts_with('[')) {
        auto close = authority.find(']');
        if (close == std::string_view::npos)
            return std::nullopt;
        host = authority.substr(0, close + 1);
        std::string_view rest = authority.substr(close + 1);
        if (!rest.empty() && !rest.starts_with(':'))
            return std::nullopt;
        port = rest.empty() ? rest : rest.substr(1);
    } else if (auto colon = authority.find(':'); colon != std::string_view::npos) {
        host = authority.substr(0, colon);
        port = authority.substr(colon + 1);
    }
    auto portNumber = parsePort(port, defaultPort);
    if (host.empty() || !portNumber)
        return std::nullopt;
    return UrlOrigin(std::move(scheme), asciiLower(host), *portNumber);
}

bool isServiceUrl(const std::string& serviceBaseUrl, const std::string& url) {
    auto service = UrlOrigin::parse(serviceBaseUrl);
    auto target = UrlOrigin::parse(url);
    return service && target && *service == *target;
}

} // namespace dravik
