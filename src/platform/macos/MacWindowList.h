#pragma once

#include "platform/WindowList.h"

namespace dravik {

// The window server's on-screen list (CGWindowListCopyWindowInfo) and activation through
// NSRunningApplication.
class MacWindowList : public WindowList {
public:
    std::vector<WindowInfo> windowsFrontToBack() override;
    bool activate(int32_t pid) override;
};

} // namespace dravik
