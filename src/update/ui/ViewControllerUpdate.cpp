#include "update/ui/ViewControllerUpdate.h"

#include "app/WindowController.h"
#include "app/controls/QtText.h"
#include "common/Launcher.h"
#include "platform/Alerts.h"
#include "platform/Http.h"
#include "ui_ViewControllerUpdate.h"
#include "update/InstallProgress.h"
#include "update/ReleaseArchive.h"
#include "update/ReleaseInstaller.h"
#include "update/UpdatePrompt.h"
#include "update/UpdateTransfer.h"

namespace dravik {

ViewControllerUpdate::ViewControllerUpdate(Launcher& launcher, WindowController& window,
                                           QWidget* parent)
    : QWidget(parent), m_launcher(launcher), m_window(window),
      m_ui(std::make_unique<Ui::ViewControllerUpdate>()) {
    m_ui->setupUi(this);
    connect(m_ui->buttonOK, &QPushButton::clicked, this, &ViewControllerUpdate::ButtonOKClick);
    connect(m_ui->buttonCancel, &QPushButton::clicked, this,
            &ViewControllerUpdate::ButtonCancelClick);
    m_timer.setInterval(m_launcher.timings.pollInterval);
    connect(&m_timer, &QTimer::timeout, this, &ViewControllerUpdate::timerProc);
    viewDidLoad();
}

// A transfer still running is stopped here; it delivers nothing afterwards.
ViewControllerUpdate::~ViewControllerUpdate() = default;

void ViewControllerUpdate::viewDidLoad() {
    m_launcher.writeLog("Update.viewDidLoad");
    UpdateViewTexts texts = UpdatePrompt::viewTexts(m_launcher);
    Ui::ViewControllerUpdate& ui = *m_ui;
    if (texts.headline)
        ui.label_update_msg->setText(qs(*texts.headline));
    if (texts.confirm)
        ui.label_update_confirm->setText(qs(*texts.confirm));
    ui.buttonCancel->setEnabled(texts.cancelEnabled);
    ui.label_now_version_title->setText(qs(texts.nowTitle));
    ui.label_new_version_title->setText(qs(texts.newTitle));
    ui.label_progress->clear();
    if (texts.nowVersion)
        ui.label_now_version->setText(qs(*texts.nowVersion));
    if (texts.newVersion)
        ui.label_new_version->setText(qs(*texts.newVersion));
    ui.progress->setValue(0);
    if (texts.fitHeadline)
        ui.label_update_msg->adjustSize();
    if (texts.versionRowsHidden) {
        for (QWidget* row : {ui.label_now_version_title, ui.label_new_version_title,
                             ui.label_now_version, ui.label_new_version})
            row->hide();
    }
    if (texts.plainButtonTitles) {
        ui.buttonOK->setText("OK");
        ui.buttonCancel->setText("Cancel");
    }
}

void ViewControllerUpdate::setButtonsEnabled(bool enabled) {
    m_ui->buttonOK->setEnabled(enabled);
    // Without an installed viewer there is nothing to skip to: Cancel stays off.
    m_ui->buttonCancel->setEnabled(enabled && UpdatePrompt::viewTexts(m_launcher).cancelEnabled);
}

void ViewControllerUpdate::ButtonOKClick() {
    if (!m_ui->buttonOK->isEnabled())
        return;
    UpdateStartResult start = UpdateTransfer::begin(m_launcher);
    switch (start.outcome) {
    case UpdateStart::Ignored:
        return;
    case UpdateStart::Refused:
    case UpdateStart::NotParked:
        m_ui->label_update_confirm->setText(qs(start.confirmText));
        return;
    case UpdateStart::Started:
        break;
    }

    m_timerProgressPercentage = 0;
    m_savedPath = start.archivePath;
    m_cancelFlag = false;
    setButtonsEnabled(false);
    // The texts go up first, so that a transfer that ends at once leaves its own texts.
    m_ui->label_update_confirm->setText(qs(start.confirmText));
    m_ui->label_progress->setText(qs(start.progressText));

    m_transfer.reset();
    m_transfer = m_launcher.platform.http.download(
        start.request, m_launcher.privateFolder,
        TransferReceiver::bind(this, m_lifetime.token(), &ViewControllerUpdate::transferProgress,
                               &ViewControllerUpdate::transferCompleted));
}

void ViewControllerUpdate::transferProgress(int64_t written, int64_t expected) {
    TransferProgress report = UpdateTransfer::progress(m_launcher, written, expected);
    m_ui->progress->setValue(report.barValue);
    m_ui->label_progress->setText(qs(report.label));
    if (report.cancel) {
        m_cancelFlag = true;
        if (m_transfer)
            m_transfer->cancel();
    }
}

void ViewControllerUpdate::transferCompleted(const TransferResult& result) {
    if (result.succeeded())
        ReleaseArchive::store(m_launcher, result.file, m_savedPath);
    TransferEndResult end = UpdateTransfer::completed(
        m_launcher, UpdateTransfer::transferError(result.error, result.status), m_cancelFlag,
        m_savedPath);
    switch (end.outcome) {
    case TransferEnd::RestoreFailed:
        m_launcher.platform.alerts.critical(end.text);
        m_window.closeWindow();
        break;
    case TransferEnd::NoArchive:
        break;
    case TransferEnd::Install: {
        m_ui->label_progress->setText(qs(end.text));
        Guarded view(this, m_lifetime);
        ReleaseInstaller(m_launcher).start(m_savedPath, [view](const InstallResult& result) {
            if (ViewControllerUpdate* self = view.get())
                self->installationEnded(result);
        });
        m_timer.start();
        break;
    }
    case TransferEnd::Failed:
        m_ui->label_update_confirm->setText(qs(end.text));
        m_ui->label_progress->clear();
        setButtonsEnabled(true);
        break;
    case TransferEnd::Cancelled:
        m_window.closeWindow();
        break;
    }
}

void ViewControllerUpdate::installationEnded(const InstallResult& result) {
    switch (result.outcome) {
    case InstallOutcome::CloseRequested:
        m_window.closeWindow();
        break;
    case InstallOutcome::Installed:
        m_window.bringToFront();
        m_timerProgressPercentage = InstallProgress::kDone;
        break;
    case InstallOutcome::Failed:
        m_timer.stop();
        m_ui->label_update_confirm->setText(qs(result.failureText));
        m_ui->label_progress->clear();
        setButtonsEnabled(true);
        break;
    }
}

void ViewControllerUpdate::timerProc() {
    ProgressTick tick = InstallProgress::tick(m_timerProgressPercentage);
    switch (tick.step) {
    case ProgressStep::Show:
        m_ui->progress->setValue(tick.value);
        break;
    case ProgressStep::Wait:
        break;
    case ProgressStep::Finish:
        m_ui->progress->setValue(tick.value);
        m_timer.stop();
        m_ui->label_progress->setText(qs(m_launcher.ini.message("msg34")));
        if (m_launcher.platform.alerts.informationalOkCancel(m_launcher.ini.message("msg22")))
            m_window.performSegue("UpdateToDownload");
        else
            m_launcher.exitProcess();
        break;
    }
}

void ViewControllerUpdate::ButtonCancelClick() {
    if (!m_ui->buttonCancel->isEnabled())
        return;
    if (UpdatePrompt::viewTexts(m_launcher).cancelQuits)
        m_launcher.exitProcess();
    else
        m_window.performSegue("UpdateToDownload");
}

} // namespace dravik
