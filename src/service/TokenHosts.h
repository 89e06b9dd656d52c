#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace dravik {

// The https hosts besides the service's own that an operator lets see the bearer token, from the
// Dravik.ini entry Token_Hosts=host[:port],... (port 443 when absent, letter case ignored, blanks
// around an entry ignored).
class TokenHosts {
public:
    // Entries that are not a host name or address with an optional port are skipped; each one
    // adds a line for the run log to skipped. Empty entries are passed over.
    static TokenHosts parse(std::string_view text, std::vector<std::string>& skipped);

    // Whether url is an https address on one of the listed hosts and ports.
    bool allows(const std::string& url) const;

private:
    std::vector<std::string> m_origins; // "https://<host>:<port>"
};

} // namespace dravik
