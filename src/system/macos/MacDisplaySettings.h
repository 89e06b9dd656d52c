#pragma once

#include "platform/DisplaySettings.h"

namespace dravik {

// The Displays pane of System Preferences (System Settings).
class MacDisplaySettings : public DisplaySettings {
public:
    void open() override;
};

} // namespace dravik
