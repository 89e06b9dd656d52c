#pragma once

#include "platform/Alerts.h"

namespace dravik {

class MainThread;

// Alerts as Qt message boxes, shown on the main thread; a worker waits for the answer.
class QtAlerts : public Alerts {
public:
    explicit QtAlerts(MainThread& mainThread) : m_mainThread(mainThread) {}

    void critical(const std::string& text) override;
    bool criticalOkCancel(const std::string& text) override;
    bool informationalOkCancel(const std::string& text) override;

private:
    MainThread& m_mainThread;
};

} // namespace dravik
