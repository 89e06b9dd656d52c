#pragma once

#include "platform/Desktop.h"

namespace dravik {

// Processes from /proc, windows and activation through the X server's EWMH properties, the
// browser through the desktop's URL handler.
class LinuxDesktop : public Desktop {
public:
    std::vector<std::string> runningApplicationNames() override;
    std::vector<WindowInfo> windowsFrontToBack() override;
    bool activate(int32_t pid) override;
    bool openUrl(const std::string& url) override;
    void openDisplaySettings() override;
    std::pair<int, int> mainDisplaySize() override;
};

} // namespace dravik
