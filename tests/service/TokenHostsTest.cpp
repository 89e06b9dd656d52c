#include "service/TokenHosts.h"

#include <gtest/gtest.h>

namespace dravik {
namespace {

// Token_Hosts as an operator writes it: https only, port 443 unless given, letter case and blanks
// ignored; whatever is not host[:port] is skipped with a line for the run log.
TEST(TokenHostsTest, ListsHttpsHostsAndPortsAndSkipsTheRest) {
    std::vector<std::string> skipped;
    TokenHosts hosts = TokenHosts::parse(
        " Files.Example.com , cdn.example.net:8443,,http://bad.example, a b ,x:0,y:70000,"
        "[::1]:9443, *.example.org ,z:",
        skipped);
    struct Case {
        const char* url;
        bool allowed;
    };
    const Case cases[] = {
        {"https://files.example.com/a.png", true},
        {"HTTPS://FILES.EXAMPLE.COM:443/a.png", true},
        {"https://files.example.com:8443/a.png", false},
        {"http://files.example.com/a.png", false},
        {"https://cdn.example.net:8443/a", true},
        {"https://cdn.example.net/a", false},
        {"https://[::1]:9443/a", true},
        {"https://bad.example/a", false},
        {"https://evil.example.com.attacker.net/a", false},
        {"https://user@files.example.com/a", true},
        {"not an address", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(hosts.allows(c.url), c.allowed) << c.url;
    EXPECT_EQ(skipped.size(), 6u);
    std::vector<std::string> none;
    EXPECT_FALSE(TokenHosts::parse("", none).allows("https://files.example.com/"));
    EXPECT_TRUE(none.empty());
}

} // namespace
} // namespace dravik
