#pragma once

#include "platform/WindowList.h"

namespace dravik {

// The window server's on-screen list without the desktop's own elements
// (CGWindowListCopyWindowInfo), every layer, and activation through NSRunningApplication
// (cooperative from macOS 14 on).
class MacWindowList : public WindowList {
public:
    std::vector<WindowInfo> windowsFrontToBack() override;
    bool activate(int32_t pid) override;
};

} // namespace dravik
