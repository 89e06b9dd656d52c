#pragma once

namespace dravik {

// The system's own page for the display settings.
class DisplaySettings {
public:
    virtual ~DisplaySettings() = default;

    virtual void open() = 0;
};

} // namespace dravik
