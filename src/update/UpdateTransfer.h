#pragma once

#include "platform/Http.h"

#include <cstdint>
#include <optional>
#include <string>

namespace dravik {

class Launcher;

enum class UpdateStart {
    Ignored,   // no published record or no file_url: the press does nothing
    Refused,   // the archive name is unusable (logged); show confirmText, buttons stay enabled
    NotParked, // the Exhibition folder could not be parked; show confirmText
    Started,   // disable the buttons, start the download, show confirmText and progressText
};

struct UpdateStartResult {
    UpdateStart outcome = UpdateStart::Ignored;
    std::string archivePath; // where the finished transfer is stored
    HttpRequest request;     // the download of file_url
    std::string confirmText;
    std::string progressText;
};

struct TransferProgress {
    int barValue = 0;
    std::string label;   // "ダウンロード中 (12/345 MB)"
    bool cancel = false; // a close was requested: remember it and cancel the transfer
};

enum class TransferEnd {
    RestoreFailed, // alert with text (logged, closeBlocked cleared), then close the window
    NoArchive,     // nothing more happens
    Install,       // set the progress label to text, start the installation and the timer
    Failed,        // set the question line to text, empty the progress, enable the buttons
                   // (closeBlocked is cleared already)
    Cancelled,     // close the window (closeBlocked is cleared already)
};

struct TransferEndResult {
    TransferEnd outcome = TransferEnd::NoArchive;
    std::string text;
};

// The download half of the self-update, as decisions the update view applies to its controls.
// Everything here runs on the main thread.
class UpdateTransfer {
public:
    // Renames <base>/Exhibition to <base>/$Exhibition while the release downloads.
    static bool parkExhibitionFolder(const Launcher& launcher);
    // Succeeds at once when <base>/Exhibition exists, else renames $Exhibition back.
    static bool restoreExhibitionFolder(const Launcher& launcher);

    // The OK press: checks the published record and the archive name, parks the Exhibition folder
    // and sets closeBlocked.
    static UpdateStartResult begin(Launcher& launcher);

    // A progress report of the transfer (expected is -1 when the size is unknown).
    static TransferProgress progress(const Launcher& launcher, int64_t written, int64_t expected);
    // msg29 + " (" + written MiB + "/" + expected MiB + " MB)", each rounded with "%.0f".
    static std::string progressText(const Launcher& launcher, int64_t written, int64_t expected);
    // written / expected as a percentage; 0 when nothing is expected.
    static int progressBarValue(int64_t written, int64_t expected);

    // The error a completed transfer counts with: its own, or "HTTP <status>" for an answer
    // outside 200-299 that came without one, so that an error page is never installed.
    static std::string transferError(const std::string& error, std::optional<int> status);

    // The end of the transfer: restores the Exhibition folder and says what comes next. error is
    // empty on success; cancelled tells that the view cancelled the transfer itself.
    static TransferEndResult completed(Launcher& launcher, const std::string& error, bool cancelled,
                                       const std::string& archivePath);
};

} // namespace dravik
