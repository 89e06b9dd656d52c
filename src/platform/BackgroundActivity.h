#pragma once

#include <memory>
#include <string>

namespace dravik {

// Keeps the system from slowing this process down while work the visitor started runs behind
// other windows (the downloads while the viewer is in front). The system may still sleep when
// the computer is left idle.
class BackgroundActivity {
public:
    // The activity lasts as long as its hold.
    class Hold {
    public:
        virtual ~Hold() = default;
    };

    virtual ~BackgroundActivity() = default;

    // reason: what runs, in the system's own diagnostics.
    virtual std::unique_ptr<Hold> begin(const std::string& reason) = 0;
};

} // namespace dravik
