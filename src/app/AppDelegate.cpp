#include "app/AppDelegate.h"

#include "app/WindowController.h"
#include "common/Launcher.h"
#include "common/LauncherSettings.h"
#include "platform/Desktop.h"
#include "signin/SignInRules.h"
#include "signin/ui/ViewControllerDravik.h"
#include "update/ParkedExhibition.h"

#include <QApplication>
#include <QMenu>
#include <QMenuBar>

namespace dravik {

AppDelegate::AppDelegate(Launcher& launcher, const Storyboard& storyboard)
    : m_launcher(launcher), m_storyboard(storyboard) {}

AppDelegate::~AppDelegate() = default;

void AppDelegate::applicationDidFinishLaunching() {
    m_window = std::make_unique<WindowController>(m_launcher, m_storyboard);
    buildMenus(m_window->menuBar());
    m_window->windowDidLoad();
    m_window->setContentViewController(new ViewControllerDravik(m_launcher, *m_window));
    m_window->show();
}

void AppDelegate::applicationWillTerminate() {
    ParkedExhibition(m_launcher).restore();
}

ViewControllerDravik* AppDelegate::signInView() const {
    return m_window ? qobject_cast<ViewControllerDravik*>(m_window->contentViewController())
                    : nullptr;
}

void AppDelegate::buildMenus(QMenuBar* bar) {
    QMenu* app = bar->addMenu("Dravik");
    app->addAction("Dravik を終了", QKeySequence::Quit, m_window.get(), &QWidget::close);

    QMenu* settings = bar->addMenu("設定");
    settings->addAction("操作パラメータ", this,
                        &AppDelegate::FPSControllerParameter_MenuItem_Click);
    settings->addAction("リセット", this, &AppDelegate::Reset_MenuItem_Click);

    QMenu* help = bar->addMenu("ヘルプ");
    help->addAction("新規登録", this, &AppDelegate::Signup_MenuItem_Click);
    help->addAction("使い方", this, &AppDelegate::Usage_MenuItem_Click);
    help->addAction("お問い合わせ", this, &AppDelegate::Inquiry_MenuItem_Click);
}

void AppDelegate::Signup_MenuItem_Click() {
    std::string url = entryUrl(m_launcher);
    if (!url.empty())
        m_launcher.platform.desktop.openUrl(url);
}

void AppDelegate::Usage_MenuItem_Click() {
    if (m_launcher.remoteVersion && m_launcher.remoteVersion->help_url)
        m_launcher.platform.desktop.openUrl(*m_launcher.remoteVersion->help_url);
}

void AppDelegate::Inquiry_MenuItem_Click() {
    m_launcher.platform.desktop.openUrl(m_launcher.serviceBaseUrl + "/QA.html");
}

void AppDelegate::FPSControllerParameter_MenuItem_Click() {
    if (ViewControllerDravik* view = signInView())
        view->openParameterEditor();
}

void AppDelegate::Reset_MenuItem_Click() {
    if (ViewControllerDravik* view = signInView())
        view->openResetDialog();
}

} // namespace dravik
