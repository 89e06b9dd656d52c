#include "signin/ui/ViewControllerDravik.h"

#include "app/SheetViewController.h"
#include "app/WindowController.h"
#include "app/controls/QtText.h"
#include "common/Launcher.h"
#include "common/LauncherSettings.h"
#include "common/RecordCoding.h"
#include "common/Unicode.h"
#include "common/UserFile.h"
#include "common/VersionFile.h"
#include "exhibition/ExhibitionDataSync.h"
#include "platform/Alerts.h"
#include "platform/Desktop.h"
#include "platform/MainThread.h"
#include "platform/Workers.h"
#include "service/ServiceClient.h"
#include "service/VersionRules.h"
#include "signin/SignInRules.h"
#include "signin/SignInSequence.h"
#include "ui_ViewControllerDravik.h"

#include <QShowEvent>

namespace dravik {

namespace {

// Runs work with the view on the main thread, unless the view has gone by then. Workers call it:
// it touches nothing of the view itself.
template <typename Work>
void postToView(MainThread& main, const Guarded<ViewControllerDravik>& view, Work work) {
    main.post([view, work = std::move(work)] {
        if (ViewControllerDravik* self = view.get())
            work(*self);
    });
}

} // namespace

ViewControllerDravik::ViewControllerDravik(Launcher& launcher, WindowController& window,
                                           QWidget* parent)
    : QWidget(parent), m_launcher(launcher), m_window(window),
      m_ui(std::make_unique<Ui::ViewControllerDravik>()) {
    m_ui->setupUi(this);
    connect(m_ui->buttonStart, &QPushButton::clicked, this,
            &ViewControllerDravik::buttonStartClick);
    connect(m_ui->buttonInquiry, &QPushButton::clicked, this,
            &ViewControllerDravik::buttonInquiryClick);
    connect(m_ui->buttonParameter, &QPushButton::clicked, this,
            &ViewControllerDravik::buttonParameterClick);
    connect(m_ui->textEmail, &QLineEdit::returnPressed, this,
            &ViewControllerDravik::buttonStartClick);
    connect(m_ui->textInviteCode, &QLineEdit::returnPressed, this,
            &ViewControllerDravik::buttonStartClick);
    auto open = [this](const QString& url) {
        m_launcher.platform.desktop.openUrl(url.toStdString());
    };
    connect(m_ui->imageSplash, &ClickImageView::clicked, this, open);
    connect(m_ui->labelLinkEntry, &LinkLabel::linkClicked, this, open);
    viewDidLoad();
}

ViewControllerDravik::~ViewControllerDravik() = default;

void ViewControllerDravik::viewDidLoad() {
    m_launcher.writeLog("Dravik.viewDidLoad");
    m_ui->checkBox_update->hide();
    showSplash();
    reloadInputs();

    m_ui->label_qz_version->clear();
    m_launcher.localVersion = VersionFile(m_launcher).loadLocalVersion();
    m_ui->label_qz_version->setText(qs(versionLabelText(m_launcher.localVersion, std::nullopt)));
    if (!m_launcher.localVersion)
        m_ui->labelLinkEntry->setEnabled(false);

    // The published record is fetched off the main thread; Start waits for it.
    m_ui->buttonStart->setEnabled(false);
    Launcher& launcher = m_launcher;
    launcher.platform.workers.run([&launcher, view = Guarded(this, m_lifetime)] {
        auto remote = ServiceClient(launcher).fetchRemoteVersion();
        postToView(launcher.platform.mainThread, view, [remote](ViewControllerDravik& self) {
            self.m_launcher.remoteVersion = remote;
            self.applyRemoteVersion();
        });
    });
}

void ViewControllerDravik::applyRemoteVersion() {
    const auto& local = m_launcher.localVersion;
    if (local) {
        if (offersUpdate(local, m_launcher.remoteVersion)) {
            m_ui->checkBox_update->setChecked(true);
            m_ui->label_qz_version->setText(qs(versionLabelText(local, m_launcher.remoteVersion)));
            m_ui->checkBox_update->show();
        }
        if (!m_launcher.remoteVersion)
            m_launcher.remoteVersion = local;
    }
    if (m_launcher.remoteVersion && m_launcher.remoteVersion->help_url)
        m_ui->imageSplash->setUrl(qs(*m_launcher.remoteVersion->help_url));
    showEntryLink();
    m_ui->buttonStart->setEnabled(true);
    m_window.bringToFront();
    emit remoteVersionLoaded();
}

void ViewControllerDravik::showSplash() {
    std::string path = splashImagePath(m_launcher);
    if (path.empty() || !m_ui->imageSplash->setImageFile(qs(path)))
        m_ui->imageSplash->setImageFile(
            qs(m_launcher.platform.bundle.resourcesPath + "/Splash.gif"));
}

void ViewControllerDravik::showEntryLink() {
    std::string url = entryUrl(m_launcher);
    if (!url.empty())
        m_ui->labelLinkEntry->setUrl(qs(url));
}

void ViewControllerDravik::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    m_launcher.writeLog("Dravik.viewDidAppear");
    const BundleInfo& bundle = m_launcher.platform.bundle;
    m_window.setWindowTitle(qs("Dravik Ver " + bundle.shortVersion + "." + bundle.buildVersion));
}

void ViewControllerDravik::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    m_launcher.writeLog("Dravik.viewDidDisappear");
}

void ViewControllerDravik::alert(const std::string& text) {
    m_launcher.writeLog(text);
    m_launcher.platform.alerts.critical(text);
}

void ViewControllerDravik::setInputsEnabled(bool enabled) {
    for (QWidget* input :
         std::initializer_list<QWidget*>{m_ui->textInviteCode, m_ui->textEmail, m_ui->buttonStart,
                                         m_ui->labelLinkEntry, m_ui->checkBox_update})
        input->setEnabled(enabled);
    // The editor and the reset rewrite the files the sign-in worker reads and writes.
    m_ui->buttonParameter->setEnabled(enabled);
    m_window.setMenuItemsEnabled("設定", enabled);
}

void ViewControllerDravik::writeUpdateSetting() {
    if (!m_ui->checkBox_update->isVisibleTo(this))
        return;
    LauncherSettings(m_launcher)
        .writeLauncherSetting("update", m_ui->checkBox_update->isChecked() ? "ON" : "OFF");
}

void ViewControllerDravik::buttonStartClick() {
    if (!m_ui->buttonStart->isEnabled())
        return;
    std::string code = Ini::trim(m_ui->textInviteCode->text().toStdString());
    std::string email = Ini::trim(m_ui->textEmail->text().toStdString());
    m_ui->textInviteCode->setText(qs(code));
    m_ui->textEmail->setText(qs(email));

    if (std::string key = startInputProblem(code, email); !key.empty()) {
        alert(m_launcher.ini.message(key));
        return;
    }
    if (!m_launcher.localVersion) {
        alert("バージョン情報を読み込めないため、開始できません。\nアプリを入れ直して下さい。");
        return;
    }
    setInputsEnabled(false);
    if (!isUnknownVersion(*m_launcher.localVersion)) {
        startSignIn(code, email);
        return;
    }
    // After a reset the published record is needed again; it is fetched off the main thread.
    Launcher& launcher = m_launcher;
    launcher.platform.workers.run([&launcher, view = Guarded(this, m_lifetime), code, email] {
        auto remote = ServiceClient(launcher).fetchRemoteVersion();
        postToView(launcher.platform.mainThread, view,
                   [remote, code, email](ViewControllerDravik& self) {
                       if (!remote) {
                           self.setInputsEnabled(true);
                           self.alert(self.m_launcher.ini.message("msg21"));
                           return;
                       }
                       self.m_launcher.remoteVersion = remote;
                       self.startSignIn(code, email);
                   });
    });
}

void ViewControllerDravik::startSignIn(const std::string& code, const std::string& email) {
    writeUpdateSetting();
    m_invitecode = code;
    m_email = email;
    Launcher& launcher = m_launcher;
    launcher.platform.workers.run([&launcher, view = Guarded(this, m_lifetime), code, email] {
        SignInResult result = runSignInSequence(launcher, code, email);
        postToView(launcher.platform.mainThread, view,
                   [result](ViewControllerDravik& self) { self.handleSignInResult(result); });
    });
}

void ViewControllerDravik::handleSignInResult(const SignInResult& result) {
    switch (result.kind) {
    case SignInResult::Kind::SignedIn:
    case SignInResult::Kind::ContinueWithoutSignIn:
        startDataSync();
        break;
    case SignInResult::Kind::Retry:
        setInputsEnabled(true);
        break;
    case SignInResult::Kind::Failed:
        setInputsEnabled(true);
        alert(result.text);
        break;
    case SignInResult::Kind::SaveFailed:
        break;
    }
}

void ViewControllerDravik::startDataSync() {
    Launcher& launcher = m_launcher;
    launcher.platform.workers.run([&launcher, view = Guarded(this, m_lifetime)] {
        ExhibitionDataSync(launcher).run([&launcher, view] { finishSignIn(launcher, view); });
    });
}

void ViewControllerDravik::finishSignIn(Launcher& launcher,
                                        const Guarded<ViewControllerDravik>& view) {
    MainThread& main = launcher.platform.mainThread;
    postToView(main, view, [](ViewControllerDravik& self) {
        self.m_window.hideMenuItem("設定", "操作パラメータ");
        // The inputs stay off from here on; the menu's other items work again.
        self.m_window.setMenuItemsEnabled("設定", true);
    });
    switch (decideFinish(launcher)) {
    case FinishRoute::Update:
        postToView(main, view, [](ViewControllerDravik& self) {
            self.m_window.performSegue("DravikToUpdate");
        });
        break;
    case FinishRoute::NoViewer:
        showAlertAndWait(launcher, "Can't start because there is no Kestrane file.");
        main.post([&launcher] { launcher.exitProcess(); });
        break;
    case FinishRoute::Download:
        postToView(main, view, [](ViewControllerDravik& self) {
            self.m_window.performSegue("DravikToDownload");
        });
        break;
    }
}

void ViewControllerDravik::buttonInquiryClick() {
    m_launcher.platform.desktop.openUrl(m_launcher.serviceBaseUrl + "/QA.html");
}

void ViewControllerDravik::buttonParameterClick() {
    openParameterEditor();
}

void ViewControllerDravik::openParameterEditor() {
    if (!m_launcher.localVersion || isNotInstalledMarker(*m_launcher.localVersion)) {
        alert("初回は設定できません");
        return;
    }
    writeUpdateSetting();
    m_window.performSegue("EditParameterSegue", [this](QWidget* destination) {
        if (auto* sheet = dynamic_cast<SheetViewController*>(destination)) {
            sheet->setParentWindow(&m_window);
            sheet->setResultHandler([this] { refreshAfterEditor(); });
        }
    });
}

void ViewControllerDravik::openResetDialog() {
    m_window.performSegue("ResetSegue", [this](QWidget* destination) {
        if (auto* sheet = dynamic_cast<SheetViewController*>(destination)) {
            sheet->setParentWindow(&m_window);
            sheet->setResetParameter(true);
            sheet->setResultHandler([this] { refreshAfterReset(); });
        }
    });
}

void ViewControllerDravik::refreshAfterEditor() {
    if (m_ui->checkBox_update->isVisibleTo(this)) {
        std::string update = LauncherSettings(m_launcher).readLauncherSetting("update", "ON");
        m_ui->checkBox_update->setChecked(asciiUpper(update) != "OFF");
    }
    showSplash();
    showEntryLink();
    reloadInputs();
    reloadLocalVersion();
}

void ViewControllerDravik::refreshAfterReset() {
    if (m_ui->checkBox_update->isVisibleTo(this)) {
        std::string update = LauncherSettings(m_launcher).readLauncherSetting("update", "ON");
        m_ui->checkBox_update->setChecked(asciiUpper(update) != "OFF");
    }
    reloadInputs();
    reloadLocalVersion();
}

void ViewControllerDravik::reloadInputs() {
    QZ_USER user = UserFile(m_launcher).loadUser();
    m_ui->textInviteCode->setText(qs(user.invitecode));
    m_ui->textEmail->setText(qs(user.email));
}

void ViewControllerDravik::reloadLocalVersion() {
    VersionFile versions(m_launcher);
    if (!File::exists(versions.installedPath()))
        return;
    auto version = VersionFile::readVersionFile(versions.installedPath());
    if (!version) {
        alert("<ローカルのバージョン読込み>" + version.error());
        return;
    }
    m_launcher.localVersion = *version;
    if (isUnknownVersion(*version)) {
        m_ui->label_qz_version->clear();
        m_ui->checkBox_update->hide();
    }
}

} // namespace dravik
