#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace dravik {

struct WindowInfo {
    std::string ownerName;
    std::optional<int32_t> ownerPid;
};

// The on-screen windows of the user's session and the activation of their applications.
class WindowList {
public:
    virtual ~WindowList() = default;

    // On-screen windows, front to back, without desktop elements; empty when none can be listed.
    virtual std::vector<WindowInfo> windowsFrontToBack() = 0;
    // Brings the application with this process id to the front, taking the focus from all
    // others; false when no such application runs.
    virtual bool activate(int32_t pid) = 0;
};

} // namespace dravik
