#pragma once

#include "platform/BundlePlacement.h"

namespace dravik {

// A bundle the system runs translocated (Gatekeeper's random read-only copy of a downloaded bundle
// started where it was unpacked), a base folder that cannot be written (a disk image, a read-only
// volume) and one the privacy protection keeps closed (Desktop, Documents, Downloads refused).
class MacBundlePlacement : public BundlePlacement {
public:
    StartPlace check(const std::string& bundlePath) override;
};

} // namespace dravik
