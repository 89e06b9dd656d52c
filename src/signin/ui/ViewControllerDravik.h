#pragma once

#include "common/Lifetime.h"

#include <QWidget>
#include <memory>
#include <string>

namespace Ui {
class ViewControllerDravik;
}

namespace dravik {

class Launcher;
class WindowController;
struct SignInResult;

// The sign-in view: splash, versions, the two inputs and Start.
class ViewControllerDravik : public QWidget {
    Q_OBJECT

public:
    ViewControllerDravik(Launcher& launcher, WindowController& window, QWidget* parent = nullptr);
    ~ViewControllerDravik() override;

    // The parameter-editor command (button and menu).
    void openParameterEditor();
    // The reset command (menu).
    void openResetDialog();

    // Runs the exhibition data sync on a worker; it ends with finishSignIn.
    void startDataSync();

    Ui::ViewControllerDravik& ui() { return *m_ui; }

public slots:
    void buttonStartClick();
    void buttonInquiryClick();
    void buttonParameterClick();

signals:
    // The published version record has been asked for at view load (tests wait for it).
    void remoteVersionLoaded();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void viewDidLoad();
    // Worker thread: the update view, the download view, or the end when the viewer is missing.
    // Reaches the view only on the main thread, and only while it exists.
    static void finishSignIn(Launcher& launcher, const Guarded<ViewControllerDravik>& view);
    void applyRemoteVersion();
    void showSplash();
    void showEntryLink();
    void setInputsEnabled(bool enabled);
    void alert(const std::string& text);
    void writeUpdateSetting();
    // The rest of Start once the published record is known: the update choice, the worker.
    void startSignIn(const std::string& code, const std::string& email);
    void handleSignInResult(const SignInResult& result);
    void refreshAfterEditor();
    void refreshAfterReset();
    void reloadInputs();
    void reloadLocalVersion();

    Launcher& m_launcher;
    WindowController& m_window;
    std::unique_ptr<Ui::ViewControllerDravik> m_ui;
    std::string m_invitecode;
    std::string m_email;
    // Work posted back from the workers reaches the view only while this lives.
    Lifetime m_lifetime;
};

} // namespace dravik
