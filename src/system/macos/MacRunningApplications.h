#pragma once

#include "platform/RunningApplications.h"

namespace dravik {

// The applications of this user's session, by their localized names (NSWorkspace lists only the
// session's own applications).
class MacRunningApplications : public RunningApplications {
public:
    std::vector<std::string> names() override;
    // Every process of this user, not only applications of the session: an older launcher
    // started otherwise counts too.
    std::vector<int> processesRunning(const std::string& executablePath) override;
};

} // namespace dravik
