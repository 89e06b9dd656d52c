#include "system/macos/MacSystemTrust.h"

#include <curl/curl.h>
#include <string>

namespace dravik {

Status useSystemTrust() {
    const curl_ssl_backend** available = nullptr;
    switch (curl_global_sslset(CURLSSLBACKEND_SECURETRANSPORT, nullptr, &available)) {
    case CURLSSLSET_OK:
        return Status::ok();
    case CURLSSLSET_TOO_LATE:
        return fail("libcurl was in use before its TLS library could be chosen; it verifies with "
                    "its default one");
    default:
        break;
    }
    std::string names;
    for (size_t i = 0; available != nullptr && available[i] != nullptr; ++i)
        names += (names.empty() ? "" : ", ") + std::string(available[i]->name);
    return fail("libcurl offers no Secure Transport (it has: " + names +
                "); servers are verified with its default TLS library");
}

} // namespace dravik
