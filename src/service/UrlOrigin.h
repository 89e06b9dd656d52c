#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace dravik {

// The scheme, host and port of an absolute http(s) address, compared as the parts a request goes
// to: scheme and host without regard to letter case, a missing port as the scheme's default.
class UrlOrigin {
public:
    // None for text that is not an absolute http or https address with a host.
    static std::optional<UrlOrigin> parse(std::string_view url);

    bool operator==(const UrlOrigin&) const = default;

private:
    UrlOrigin(std::string scheme, std::string host, int port)
        : m_scheme(std::move(scheme)), m_host(std::move(host)), m_port(port) {}

    std::string m_scheme; // lower case
    std::string m_host;   // lower case; an IPv6 address with its brackets
    int m_port = 0;
};

// True when url goes to the same scheme, host and port as serviceBaseUrl.
bool isServiceUrl(const std::string& serviceBaseUrl, const std::string& url);

} // namespace dravik
