#pragma once

#include <QObject>
#include <memory>

class QMenuBar;

namespace dravik {

class Launcher;
class Storyboard;
class ViewControllerDravik;
class WindowController;

// The application's delegate: opens the main window on the sign-in view, owns the menus, and
// recovers an interrupted self-update (a parked Exhibition folder, a half-done installation) at
// start, before the window is built; a parked folder also when the application ends.
class AppDelegate : public QObject {
    Q_OBJECT

public:
    AppDelegate(Launcher& launcher, const Storyboard& storyboard);
    ~AppDelegate() override;

    void applicationDidFinishLaunching();
    void applicationWillTerminate();
    bool applicationSupportsSecureRestorableState() const { return true; }

    WindowController* window() const { return m_window.get(); }
    // The sign-in view, when it is the window's first view.
    ViewControllerDravik* signInView() const;

public slots:
    void Signup_MenuItem_Click();
    void Usage_MenuItem_Click();
    void Inquiry_MenuItem_Click();
    void FPSControllerParameter_MenuItem_Click();
    void Reset_MenuItem_Click();

private:
    void buildMenus(QMenuBar* bar);

    Launcher& m_launcher;
    const Storyboard& m_storyboard;
    std::unique_ptr<WindowController> m_window;
};

} // namespace dravik
