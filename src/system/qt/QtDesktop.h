#pragma once

#include "platform/Desktop.h"

namespace dravik {

class DisplaySettings;

// The browser and the main display through Qt, the same on every system; the display settings
// page is the system's own.
class QtDesktop : public Desktop {
public:
    explicit QtDesktop(DisplaySettings& displaySettings) : m_displaySettings(displaySettings) {}

    bool openUrl(const std::string& url) override;
    void openDisplaySettings() override;
    std::pair<int, int> mainDisplaySize() override;

private:
    DisplaySettings& m_displaySettings;
};

} // namespace dravik
