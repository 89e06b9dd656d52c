#include "exhibition/ViewControllerDownload.h"

#include "app/QtText.h"
#include "app/WindowController.h"
#include "common/Diagnostics.h"
#include "common/File.h"
#include "common/Launcher.h"
#include "exhibition/ViewerLauncher.h"
#include "platform/Http.h"
#include "ui_ViewControllerDownload.h"

#include <QShowEvent>
#include <climits>
#include <filesystem>

namespace dravik {

ViewControllerDownload::ViewControllerDownload(Launcher& launcher, WindowController& window,
                                               QWidget* parent)
    : QWidget(parent), m_launcher(launcher), m_window(window),
      m_ui(std::make_unique<Ui::ViewControllerDownload>()),
      m_startData(std::chrono::steady_clock::now()), m_progress(launcher), m_stamps(launcher) {
    m_ui->setupUi(this);
    m_progress.setStampWriter([this](const DOWNLOAD_FILES& entry) {
        StampCommitter::Folder folder{entry.path, entry.updated_at, {}};
        for (const DOWNLOAD_FILE& file : entry.downloadFileList)
            folder.files.push_back(File::join(entry.path, file.filename));
        m_folderDone = std::move(folder);
    });
    viewDidLoad();
}

ViewControllerDownload::~ViewControllerDownload() = default;

void ViewControllerDownload::viewDidLoad() {
    m_launcher.writeLog("Download.viewDidLoad");
    for (QLabel* label :
         {m_ui->label_filename, m_ui->label_file, m_ui->label_size, m_ui->label_time,
          m_ui->label_exhibition, m_ui->label_hall, m_ui->label_download})
        label->clear();

    if (ViewerLauncher(m_launcher).launch() == ViewerLaunch::Missing) {
        m_launcher.exitProcess();
        return;
    }
    m_launcher.closeBlocked = true;
    // The transition into this view resizes the window, which would bring a minimized window
    // back; so the window is minimized, and the transfers begin, once this view is in place.
    connect(&m_window, &WindowController::viewChanged, this, [this](QWidget* view) {
        if (view != this || m_begun)
            return;
        m_begun = true;
        m_window.showMinimized();
        begin();
    });
}

// Minimizing and restoring the window are not the view appearing or disappearing.
void ViewControllerDownload::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous())
        m_launcher.writeLog("Download.viewDidAppear");
}

void ViewControllerDownload::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (!event->spontaneous())
        m_launcher.writeLog("Download.viewDidDisappear");
}

void ViewControllerDownload::begin() {
    if (m_progress.total() == 0 || m_progress.atEnd()) {
        finish();
        return;
    }
    m_ui->progressBar1->setMaximum(
        static_cast<int>(std::min<int64_t>(m_progress.total(), INT_MAX)));
    m_ui->progressBar1->setValue(0);
    ExhibitionNames names = DownloadProgress::exhibitionNames(
        m_launcher.authRecord, m_launcher.invitedExhibitionId, m_launcher.invitedHallId);
    m_ui->label_exhibition->setText(qs(names.exhibition));
    m_ui->label_hall->setText(qs(names.hall));
    m_ui->label_download->setText("ダウンロード中");
    m_activity = m_launcher.platform.activity.begin("Downloading the exhibition's files");
    startDownload();
}

void ViewControllerDownload::startDownload() {
    const DOWNLOAD_FILES& entry = m_progress.entry();
    m_ui->label_filename->setText(qs(m_progress.fileNameLabel()));
    // The window is minimised behind the viewer: an alert here would wait for nobody.
    std::error_code folderError;
    std::filesystem::create_directories(entry.path, folderError);
    if (folderError) {
        m_launcher.writeLog(entry.path + " - " + folderError.message());
        finish();
        return;
    }
    Expected<std::string> destination = m_progress.destination();
    if (!destination) {
        transferCompleted(TransferResult{std::nullopt, destination.error(), {}});
        return;
    }
    m_save_fname = *destination;
    // The body is written next to its destination, so that moving it into place is a rename
    // and the running viewer never sees half a file under the real name.
    m_transfer = m_launcher.platform.http.download(
        m_progress.request(), entry.path,
        TransferReceiver::bind(this, m_lifetime.token(), &ViewControllerDownload::transferProgress,
                               &ViewControllerDownload::transferCompleted));
}

void ViewControllerDownload::transferProgress(int64_t written, int64_t expected) {
    m_ui->label_size->setText(qs(DownloadProgress::sizeLabel(written, expected)));
    m_ui->progressBar2->setValue(DownloadProgress::percentOfFile(written, expected));
    m_ui->label_time->setText(
        qs(DownloadProgress::elapsedLabel(std::chrono::steady_clock::now() - m_startData)));
}

void ViewControllerDownload::storeFile(const std::string& temporaryFile) {
    if (File::exists(m_save_fname))
        m_launcher.file.removePath(m_save_fname);
    namespace fs = std::filesystem;
    std::error_code error;
    fs::rename(temporaryFile, m_save_fname, error);
    if (error) {
        printDiagnostic("file error: " + error.message());
        m_launcher.writeLog("file error: " + m_save_fname + " - " + error.message());
        m_progress.markCurrentFileMissing();
        return;
    }
    // The temporary file was private to this user; the data are not (another account's viewer
    // may read this folder), so the file gets the mode of any other file written here.
    fs::permissions(m_save_fname,
                    fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                        fs::perms::others_read,
                    error);
}

void ViewControllerDownload::transferCompleted(const TransferResult& result) {
    if (!result.succeeded()) {
        m_launcher.writeLog(
            DownloadProgress::failureText(m_progress.fileNameLabel(), result.error, result.status));
        finish();
        return;
    }
    storeFile(result.file);
    DownloadProgress::Next next = m_progress.completed();
    const int64_t done = m_progress.downloadedCount();
    m_ui->progressBar1->setValue(static_cast<int>(std::min<int64_t>(done, INT_MAX)));
    m_ui->label_file->setText(
        qs(DownloadProgress::fileCountLabel(done, m_ui->progressBar1->maximum())));
    auto goOn = [this, next] {
        if (next == DownloadProgress::Next::Finish)
            finish();
        else
            startDownload();
    };
    if (auto folder = std::exchange(m_folderDone, std::nullopt))
        m_stamps.add(std::move(*folder), goOn);
    else
        goOn();
}

void ViewControllerDownload::finish() {
    if (m_finished)
        return;
    m_finished = true;
    m_activity.reset();
    // The window stays until the last stamps are written; a close meanwhile waits as well.
    m_stamps.finish([this] {
        m_launcher.closeBlocked = false;
        m_window.closeWindow();
    });
}

} // namespace dravik
