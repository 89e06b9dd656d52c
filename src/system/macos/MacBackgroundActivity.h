#pragma once

#include "platform/BackgroundActivity.h"

namespace dravik {

// An NSProcessInfo activity begun by the visitor (NSActivityUserInitiatedAllowingIdleSystemSleep):
// no App Nap and no timer coalescing while it lasts; the Mac may still sleep when left idle.
class MacBackgroundActivity : public BackgroundActivity {
public:
    std::unique_ptr<Hold> begin(const std::string& reason) override;
};

} // namespace dravik
