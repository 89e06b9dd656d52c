#pragma once

#include "common/Lifetime.h"

#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <string>

namespace Ui {
class ViewControllerUpdate;
}

namespace dravik {

class Launcher;
class Transfer;
struct TransferResult;
class WindowController;
struct InstallResult;

// The self-update view: shows the installed and the published version, downloads the release
// archive while the Exhibition folder is parked, installs it on a worker and then goes on to the
// download view or ends the process.
class ViewControllerUpdate : public QWidget {
    Q_OBJECT

public:
    ViewControllerUpdate(Launcher& launcher, WindowController& window, QWidget* parent = nullptr);
    ~ViewControllerUpdate() override;

    Ui::ViewControllerUpdate& ui() { return *m_ui; }
    bool isTimerRunning() const { return m_timer.isActive(); }

public slots:
    void ButtonOKClick();
    void ButtonCancelClick();
    void timerProc();

private:
    void viewDidLoad();
    void setButtonsEnabled(bool enabled);
    void transferProgress(int64_t written, int64_t expected);
    void transferCompleted(const TransferResult& result);
    void installationEnded(const InstallResult& result);

    Launcher& m_launcher;
    WindowController& m_window;
    std::unique_ptr<Ui::ViewControllerUpdate> m_ui;

    std::string m_savedPath;
    bool m_cancelFlag = false;
    QTimer m_timer;
    int m_timerProgressPercentage = 0;
    // Last, so that a running transfer is stopped before anything it reports to goes away.
    Lifetime m_lifetime;
    std::unique_ptr<Transfer> m_transfer;
};

} // namespace dravik
