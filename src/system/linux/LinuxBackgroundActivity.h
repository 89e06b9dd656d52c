#pragma once

#include "platform/BackgroundActivity.h"

namespace dravik {

// Nothing to do on Linux: the scheduler does not throttle a process because its windows are
// minimised or hidden, and no desktop there naps applications. Idle sleep is the desktop's
// choice, as on macOS with the activity the launcher asks for.
class LinuxBackgroundActivity : public BackgroundActivity {
public:
    std::unique_ptr<Hold> begin(const std::string& reason) override;
};

} // namespace dravik
