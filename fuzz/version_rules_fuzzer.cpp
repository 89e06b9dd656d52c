// Version texts come from the published record and from the installed one, which any release
// may carry. The input holds two texts separated by the first NUL byte (else split in half).

#include "FuzzCheck.h"
#include "service/VersionRules.h"

#include <cstddef>
#include <cstdint>
#include <string>

using namespace dravik;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string input(reinterpret_cast<const char*>(data), size);
    size_t split = input.find('\0');
    QZ_VERSION a, b;
    if (split == std::string::npos) {
        a.version = input.substr(0, size / 2);
        b.version = input.substr(size / 2);
    } else {
        a.version = input.substr(0, split);
        b.version = input.substr(split + 1);
    }

    (void)isUnknownVersion(a);
    (void)isUnknownVersion(b);
    (void)isNotInstalledMarker(a);
    bool aNewer = isNewer(a, b);
    bool bNewer = isNewer(b, a);
    FUZZ_CHECK(!(aNewer && bNewer));
    FUZZ_CHECK(!isNewer(a, a));
    // An unknown version ("0", "0.0.0") is never newer than anything.
    if (isUnknownVersion(a))
        FUZZ_CHECK(!aNewer || !isUnknownVersion(b));
    return 0;
}
