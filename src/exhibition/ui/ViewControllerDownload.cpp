#include "exhibition/ui/ViewControllerDownload.h"

#include "app/WindowController.h"
#include "app/controls/QtText.h"
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
    m_parallel = DownloadProgress::parallelDownloads(m_launcher);
    m_paintPacing.emplace(m_window);
    startDownload();
}

void ViewControllerDownload::startDownload() {
    while (!m_finished && !m_launcher.closeRequested) {
        const Turn turn = nextTurn();
        std::optional<DownloadProgress::Position> at = m_progress.nextToStart();
        if (turn == Turn::None || !at)
            break;
        std::optional<InFlight> file = start(*at, turn);
        if (!file) {
            m_chaining = false; // the client cannot hold a download back: it starts in its turn
            break;
        }
        m_progress.started(*at);
        m_inFlight.push_back(std::move(*file));
        if (m_inFlight.size() == 1)
            m_ui->label_filename->setText(qs(m_progress.fileNameLabel(*at)));
        // A file that cannot even start ends the run, in list order like any failure.
        if (m_inFlight.back().done && m_inFlight.size() == 1) {
            completeInOrder();
            return;
        }
    }
    // A stop met between two files (say while a stamp was written): no transfer is left whose
    // end would finish the run.
    if (!m_finished && m_inFlight.empty() && m_launcher.closeRequested)
        finish();
}

// Up to m_parallel transfers run; one more file may wait, received, for its turn to be put in
// place, so the next transfer is on its way while the main thread does that. One at a time, the
// next file waits in the client behind the running one and starts as soon as that one has ended
// well. Nothing starts after a file that failed: the run ends at it.
ViewControllerDownload::Turn ViewControllerDownload::nextTurn() const {
    int running = 0;
    for (const InFlight& file : m_inFlight) {
        if (file.failed())
            return Turn::None;
        running += file.done ? 0 : 1;
    }
    const int waiting = static_cast<int>(m_inFlight.size());
    if (running < m_parallel && waiting <= m_parallel)
        return Turn::Now;
    if (m_parallel == 1 && m_chaining && waiting == 1 && running == 1)
        return Turn::AfterRunning;
    return Turn::None;
}

std::optional<ViewControllerDownload::InFlight>
ViewControllerDownload::start(DownloadProgress::Position at, Turn turn) {
    InFlight file;
    file.id = m_nextId++;
    file.at = at;
    const DOWNLOAD_FILES& entry = m_progress.entry(at);
    Expected<std::string> destination = m_progress.destination(at);
    if (!destination) {
        file.result = TransferResult{std::nullopt, destination.error(), {}};
        file.done = true;
        return file;
    }
    file.destination = *destination;
    // The body is written next to its destination, so that moving it into place is a rename
    // and the running viewer never sees half a file under the real name. The client makes the
    // folder when it opens that file.
    const int64_t id = file.id;
    TransferReceiver receiver{m_lifetime.token(),
                              [this, id](int64_t written, int64_t expected) {
                                  if (!m_inFlight.empty() && m_inFlight.front().id == id)
                                      transferProgress(written, expected);
                              },
                              [this, id](const TransferResult& result) {
                                  transferCompleted(id, result);
                              }};
    Http& http = m_launcher.platform.http;
    if (turn == Turn::Now) {
        file.transfer = http.download(m_progress.request(at), entry.path, std::move(receiver));
        return file;
    }
    // Read on the client's thread; a stop asked for meanwhile keeps the file from starting.
    file.transfer = http.downloadAfter(
        *m_inFlight.back().transfer, m_progress.request(at), entry.path, std::move(receiver),
        [&closeRequested = m_launcher.closeRequested] { return !closeRequested; });
    if (!file.transfer)
        return std::nullopt;
    return file;
}

void ViewControllerDownload::transferProgress(int64_t written, int64_t expected) {
    m_ui->label_size->setText(qs(DownloadProgress::sizeLabel(written, expected)));
    m_ui->progressBar2->setValue(DownloadProgress::percentOfFile(written, expected));
    m_ui->label_time->setText(
        qs(DownloadProgress::elapsedLabel(std::chrono::steady_clock::now() - m_startData)));
}

void ViewControllerDownload::storeFile(const std::string& temporaryFile) {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::rename(temporaryFile, m_save_fname, error);
    // A rename replaces a file at once; what it cannot replace (a folder) is removed, and the
    // rename tried again.
    if (error && File::exists(m_save_fname)) {
        (void)m_launcher.file.removePath(m_save_fname);
        fs::rename(temporaryFile, m_save_fname, error);
    }
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

void ViewControllerDownload::transferCompleted(int64_t id, const TransferResult& result) {
    auto file = std::find_if(m_inFlight.begin(), m_inFlight.end(),
                             [id](const InFlight& f) { return f.id == id; });
    if (file == m_inFlight.end())
        return;
    if (m_finished) {
        // A file stopped by finish(): the client has removed its body, or removes it now.
        m_inFlight.erase(file);
        closeWhenStopped();
        return;
    }
    file->done = true;
    file->transfer.reset();
    file->result = result;
    // The current file goes into place at once, from where the client left it.
    const bool current = file == m_inFlight.begin() && !m_waitingForStamp;
    if (result.succeeded() && !current) {
        // The body may have to wait for the files before it (or for a stamp): it waits under a
        // name of ours, as the client removes whatever is left at its own name.
        std::string held = File::temporaryName(file->destination, "tmp");
        std::error_code error;
        std::filesystem::rename(result.file, held, error);
        file->result.file = error ? std::string() : held;
        if (error)
            file->result.error = "file error: " + error.message();
    }
    if (file != m_inFlight.begin())
        return;
    if (result.succeeded())
        startDownload();
    completeInOrder();
}

void ViewControllerDownload::completeInOrder() {
    while (!m_finished && !m_waitingForStamp && !m_inFlight.empty() && m_inFlight.front().done) {
        InFlight file = std::move(m_inFlight.front());
        m_inFlight.pop_front();
        if (!file.result.succeeded()) {
            m_launcher.writeLog(failureLine(file));
            finish();
            return;
        }
        m_save_fname = file.destination;
        storeFile(file.result.file);
        DownloadProgress::Next next = m_progress.completed();
        const int64_t done = m_progress.downloadedCount();
        m_ui->progressBar1->setValue(static_cast<int>(std::min<int64_t>(done, INT_MAX)));
        m_ui->label_file->setText(
            qs(DownloadProgress::fileCountLabel(done, m_ui->progressBar1->maximum())));
        if (next == DownloadProgress::Next::Finish) {
            finishAfterStamp();
            return;
        }
        if (!m_inFlight.empty())
            m_ui->label_filename->setText(qs(m_progress.fileNameLabel(m_inFlight.front().at)));
        if (auto folder = std::exchange(m_folderDone, std::nullopt)) {
            m_waitingForStamp = true;
            m_stamps.add(std::move(*folder), [this] {
                m_waitingForStamp = false;
                startDownload();
                completeInOrder();
            });
            return;
        }
        startDownload();
    }
}

// A file that failed because its folder cannot be made is logged as the folder's failure.
std::string ViewControllerDownload::failureLine(const InFlight& file) const {
    const std::string& folder = m_progress.entry(file.at).path;
    std::error_code error;
    if (!file.result.status && !std::filesystem::create_directories(folder, error) && error)
        return folder + " - " + error.message();
    return DownloadProgress::failureText(m_progress.fileNameLabel(file.at), file.result.error,
                                         file.result.status);
}

void ViewControllerDownload::finishAfterStamp() {
    if (auto folder = std::exchange(m_folderDone, std::nullopt))
        m_stamps.add(std::move(*folder), [this] { finish(); });
    else
        finish();
}

void ViewControllerDownload::finish() {
    if (m_finished)
        return;
    m_finished = true;
    m_activity.reset();
    // Files after the one that ended the run are not wanted: received and dropped, or stopped.
    // A stopped transfer still holds a partial body, which its client removes before it reports
    // the end; the window waits for that, as Dravik ends right after the window closes.
    std::erase_if(m_inFlight, [](InFlight& file) {
        if (!file.done) {
            file.transfer->cancel();
            return false;
        }
        if (!file.result.file.empty()) {
            std::error_code ignored;
            std::filesystem::remove(file.result.file, ignored);
        }
        return true;
    });
    // The window stays until the last stamps are written; a close meanwhile waits as well.
    m_stamps.finish([this] {
        m_stampsWritten = true;
        closeWhenStopped();
    });
}

void ViewControllerDownload::closeWhenStopped() {
    if (!m_stampsWritten || !m_inFlight.empty())
        return;
    m_launcher.closeBlocked = false;
    m_window.closeWindow();
}

} // namespace dravik
