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

// Running applications and their windows.
class Desktop {
public:
    virtual ~Desktop() = default;

    // Process names of the running applications (one entry per process).
    virtual std::vector<std::string> runningApplicationNames() = 0;
    // On-screen windows, front to back, without desktop elements; empty when none can be listed.
    virtual std::vector<WindowInfo> windowsFrontToBack() = 0;
    // Brings the application with this process id to the front; false when it is not running.
    virtual bool activate(int32_t pid) = 0;
    // Opens an address in the default browser; false when it is not a valid address.
    virtual bool openUrl(const std::string& url) = 0;
    // Opens the system's display settings, where the desktop has such a page.
    virtual void openDisplaySettings() = 0;
    // Width and height of the main display in pixels.
    virtual std::pair<int, int> mainDisplaySize() = 0;
};

} // namespace dravik
