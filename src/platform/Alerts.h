#pragma once

#include <string>

namespace dravik {

// Modal alerts. Every call blocks its caller until the visitor has closed the alert; called off
// the main thread, the alert is shown on the main thread while the caller waits.
class Alerts {
public:
    virtual ~Alerts() = default;

    // Critical style, the text alone and a single default button.
    virtual void critical(const std::string& text) = 0;
    // Critical style with the buttons "OK" and "Cancel"; true when "OK" was pressed.
    virtual bool criticalOkCancel(const std::string& text) = 0;
    // Informational style with the buttons "OK" and "Cancel"; true when "OK" was pressed.
    virtual bool informationalOkCancel(const std::string& text) = 0;
};

} // namespace dravik
