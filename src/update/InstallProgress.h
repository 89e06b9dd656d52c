#pragma once

namespace dravik {

enum class ProgressStep {
    Show,   // set the bar to value
    Wait,   // leave the bar as it is
    Finish, // set the bar to value (100), stop the timer and ask how to go on
};

struct ProgressTick {
    ProgressStep step = ProgressStep::Wait;
    int value = 0;
};

// The simulated progress shown while the release installs: one tick every 0.5 seconds climbs to
// 90 and waits there until the installation sets the percentage to kDone.
class InstallProgress {
public:
    static constexpr int kLimit = 90;
    static constexpr int kDone = 100;

    // One timer tick; advances percentage while it is at most kLimit.
    static ProgressTick tick(int& percentage);
};

} // namespace dravik
