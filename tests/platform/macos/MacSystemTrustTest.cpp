// The system's libcurl, as the bundle uses it: Secure Transport (the Keychain's trust) chosen
// before first use, and the multi interface the transfer engine relies on.

#include "system/macos/MacSystemTrust.h"

#include <chrono>
#include <curl/curl.h>
#include <gtest/gtest.h>
#include <string>

namespace dravik {
namespace {

TEST(MacSystemTrust, TheSystemsLibcurlVerifiesThroughTheKeychain) {
    Status trust = useSystemTrust();
    ASSERT_TRUE(trust) << trust.error();
    ASSERT_EQ(curl_global_init(CURL_GLOBAL_DEFAULT), CURLE_OK);
    const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(std::string(info->ssl_version).rfind("SecureTransport", 0), 0u) << info->ssl_version;
    // curl_multi_poll came in 7.66, curl_multi_wakeup in 7.68.
    EXPECT_GE(info->version_num, 0x074400u) << info->version;

    CURLM* multi = curl_multi_init();
    ASSERT_NE(multi, nullptr);
    EXPECT_EQ(curl_multi_wakeup(multi), CURLM_OK);
    const auto start = std::chrono::steady_clock::now();
    int events = 0;
    EXPECT_EQ(curl_multi_poll(multi, nullptr, 0, 10000, &events), CURLM_OK);
    EXPECT_LT(std::chrono::steady_clock::now() - start,
              std::chrono::seconds(5)); // woken, not timed out
    curl_multi_cleanup(multi);
    curl_global_cleanup();
}

} // namespace
} // namespace dravik
