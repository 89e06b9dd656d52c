#pragma once

#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <vector>

class QMenu;

namespace dravik {

class Launcher;
class Storyboard;

// The single main window: holds the current view, performs the named transitions, and refuses to
// close while a transfer runs (the close is then remembered in closeRequested).
class WindowController : public QMainWindow {
    Q_OBJECT

public:
    using Prepare = std::function<void(QWidget* destination)>;

    WindowController(Launcher& launcher, const Storyboard& storyboard);

    void windowDidLoad();
    bool windowShouldClose();
    void windowWillClose();

    void setContentViewController(QWidget* view);
    QWidget* contentViewController() const { return m_content; }

    // Performs the transition called identifier from the current view; prepare runs on the
    // destination before it is shown. False when the storyboard has no such transition.
    bool performSegue(const QString& identifier, const Prepare& prepare = {});
    // The topmost sheet shown over the window, if any. A sheet opened from a sheet (the reset
    // dialog from the parameter editor) is stacked over it.
    QWidget* currentSheet() const;

    QMenu* menuTitled(const QString& title) const;
    void hideMenuItem(const QString& menuTitle, const QString& itemTitle);
    void setMenuItemsEnabled(const QString& menuTitle, bool enabled);

    // Brings the window to the front and activates the application.
    void bringToFront();
    // Closes the window from the program (a finished transfer): the close guard is not asked.
    void closeWindow();

signals:
    void viewChanged(QWidget* view);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void presentSheet(QWidget* view);

    Launcher& m_launcher;
    const Storyboard& m_storyboard;
    QWidget* m_container = nullptr;
    QWidget* m_content = nullptr;
    std::vector<QPointer<QWidget>> m_sheets;
    bool m_closing = false;
};

} // namespace dravik
