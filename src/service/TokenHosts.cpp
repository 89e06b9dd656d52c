#include "service/TokenHosts.h"

#include "common/Unicode.h"
#include "service/UrlOrigin.h"

#include <algorithm>

namespace dravik {

namespace {

bool isHostCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.';
}

bool isIpv6Character(char c) {
    return (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || (c >= '0' && c <= '9') || c == ':' ||
           c == '.';
}

// A host name or IPv4 address, or an IPv6 address in brackets.
bool isHost(std::string_view host) {
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        return std::all_of(host.begin() + 1, host.end() - 1, isIpv6Character);
    return !host.empty() && host.front() != '.' && host.front() != '-' &&
           std::all_of(host.begin(), host.end(), isHostCharacter);
}

bool isPort(std::string_view port) {
    if (port.empty() || port.size() > 5 || port.front() == '0' ||
        !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    return std::stoi(std::string(port)) <= 65535;
}

// "host[:port]" as an https origin, empty when the entry is not one.
std::string originOf(std::string_view entry) {
    std::string_view host = entry;
    std::string_view port = "443";
    size_t colon = entry.rfind(':');
    size_t bracket = entry.rfind(']');
    if (colon != std::string_view::npos && (bracket == std::string_view::npos || colon > bracket)) {
        host = entry.substr(0, colon);
        port = entry.substr(colon + 1);
    }
    if (!isHost(host) || !isPort(port))
        return {};
    return "https://" + asciiLower(host) + ":" + std::string(port);
}

} // namespace

TokenHosts TokenHosts::parse(std::string_view text, std::vector<std::string>& skipped) {
    TokenHosts hosts;
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = std::min(text.find(',', start), text.size());
        std::string entry = trimSpaces(text.substr(start, comma - start));
        start = comma + 1;
        if (entry.empty())
            continue; // nothing between two commas
        std::string origin = originOf(entry);
        if (origin.empty())
            skipped.push_back("Token_Hosts: entry \"" + entry + "\" skipped: not host[:port]");
        else
            hosts.m_origins.push_back(std::move(origin));
    }
    return hosts;
}

bool TokenHosts::allows(const std::string& url) const {
    return std::any_of(m_origins.begin(), m_origins.end(),
                       [&url](const std::string& origin) { return isServiceUrl(origin, url); });
}

} // namespace dravik
