#include "service/VersionRules.h"

#include <gtest/gtest.h>

namespace dravik {
namespace {

QZ_VERSION v(const std::string& text) {
    QZ_VERSION version;
    version.version = text;
    return version;
}

TEST(VersionRulesTest, UnknownVersion) {
    const std::vector<std::pair<std::string, bool>> cases = {
        {"0", true},
        {"0.0.0", true},
        {"00.000", true},
        {"0.0.0.0.0", true},
        {"+0.-0", true},
        {"", false},
        {"0..0", false},
        {"0.0.", false},
        {".0", false},
        {"0.0.1", false},
        {"1", false},
        {"0.a", false},
        {"0.0 ", false},
        {"-.-.-.-", false},
        {"1.0.0", false},
        {"0x0", false},
        {"00000000000000000000000000000000000000001", false},
    };
    for (const auto& [text, unknown] : cases)
        EXPECT_EQ(isUnknownVersion(v(text)), unknown) << text;
}

TEST(VersionRulesTest, NewerComparesFourNumericParts) {
    struct Case {
        std::string remote, local;
        bool newer;
    };
    const std::vector<Case> cases = {
        {"1.0.10", "1.0.9", true},
        {"1.0.9", "1.0.10", false},
        {"1.2", "1.2.0.0", false},
        {"1.2.0.0", "1.2", false},
        {"1.2.0.1", "1.2", true},
        {"1.2.3.4.9", "1.2.3.4", false},
        {"1.2.3.4", "1.2.3.4.9", false},
        {"2", "1.9.9.9", true},
        {"1.x.1", "1.0.0", true},
        {"1..1", "1.0.0", true},
        {"1.0.0", "-.-.-.-", true},
        {"-.-.-.-", "0", false},
        {"0.0.0", "0", false},
        {"1.01", "1.1", false},
        {"1.0.0", "1.-1", true},
        {"99999999999999999999999.0", "99999999999999999999998.9", true},
        {"99999999999999999999998", "99999999999999999999999", false},
        {"", "", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(isNewer(v(c.remote), v(c.local)), c.newer) << c.remote << " vs " << c.local;
}

} // namespace
} // namespace dravik
