#pragma once

#include "app/controls/PaintPacing.h"
#include "common/Lifetime.h"
#include "exhibition/DownloadProgress.h"
#include "exhibition/StampCommitter.h"
#include "platform/BackgroundActivity.h"
#include "platform/Http.h"

#include <QWidget>
#include <chrono>
#include <deque>
#include <memory>
#include <optional>
#include <string>

namespace Ui {
class ViewControllerDownload;
}

namespace dravik {

class Launcher;
class Transfer;
class WindowController;

// The last view: starts the viewer, minimizes the window and fetches the files of the download
// list one at a time while the viewer runs; the window closes (and Dravik ends) when the list is
// done, a transfer fails or a close was requested.
class ViewControllerDownload : public QWidget {
    Q_OBJECT

public:
    ViewControllerDownload(Launcher& launcher, WindowController& window, QWidget* parent = nullptr);
    ~ViewControllerDownload() override;

    Ui::ViewControllerDownload& ui() { return *m_ui; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void viewDidLoad();
    void begin();
    // One file of the list on its way, in list order: the first is the current file.
    struct InFlight {
        int64_t id = 0;
        DownloadProgress::Position at;
        std::string destination;
        std::unique_ptr<Transfer> transfer;
        bool done = false;
        TransferResult result; // once done; a body received ahead of its turn waits in result.file

        bool failed() const { return done && !result.succeeded(); }
    };

    // Starts files in list order while fewer than m_parallel are on their way.
    void startDownload();
    // Whether the next file may start: now, held back in the client behind the running one, or
    // not yet.
    enum class Turn { None, Now, AfterRunning };
    Turn nextTurn() const;
    // Null when the client cannot hold the file back.
    std::optional<InFlight> start(DownloadProgress::Position at, Turn turn);
    void transferProgress(int64_t written, int64_t expected);
    void transferCompleted(int64_t id, const TransferResult& result);
    // Puts the finished files at the front in place, counts and stamps them, in list order.
    void completeInOrder();
    std::string failureLine(const InFlight& file) const;
    void finishAfterStamp();
    // Moves a finished transfer's file to m_save_fname.
    void storeFile(const std::string& temporaryFile);
    void finish();
    // Closes the window once the stamps are written and every stopped transfer has ended.
    void closeWhenStopped();

    Launcher& m_launcher;
    WindowController& m_window;
    std::unique_ptr<Ui::ViewControllerDownload> m_ui;
    const std::chrono::steady_clock::time_point m_startData;
    DownloadProgress m_progress;
    StampCommitter m_stamps;
    std::optional<StampCommitter::Folder> m_folderDone; // set by m_progress.completed()
    std::string m_save_fname;
    bool m_begun = false;
    bool m_finished = false;
    // Held from the first transfer to Finish, so that the system does not slow the downloads
    // down while the viewer is in front.
    std::unique_ptr<BackgroundActivity::Hold> m_activity;
    // Last, so that a running transfer is stopped before anything it reports to goes away.
    Lifetime m_lifetime;
    std::deque<InFlight> m_inFlight;
    int m_parallel = 1;
    bool m_chaining = true; // while the client holds the next download back for us
    int64_t m_nextId = 1;
    bool m_waitingForStamp = false;
    bool m_stampsWritten = false;
    // While the files come, labels change far more often than a display shows them.
    std::optional<PaintPacing> m_paintPacing;
};

} // namespace dravik
