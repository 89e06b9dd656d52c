#pragma once

#include "platform/DisplaySettings.h"

namespace dravik {

// The display page of the desktop's settings program, for the desktops we know of.
class LinuxDisplaySettings : public DisplaySettings {
public:
    void open() override;
};

} // namespace dravik
