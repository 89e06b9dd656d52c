#pragma once

#include "platform/WindowList.h"

namespace dravik {

// Windows and activation through the X server's EWMH properties; owners named by their
// executables.
class LinuxWindowList : public WindowList {
public:
    std::vector<WindowInfo> windowsFrontToBack() override;
    bool activate(int32_t pid) override;
};

} // namespace dravik
