#include "update/UpdateTransfer.h"

#include "common/Diagnostics.h"
#include "common/Launcher.h"
#include "common/PartialDownload.h"
#include "update/ReleaseArchive.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace dravik {

namespace {

std::string parkedFolder(const Launcher& launcher) {
    return File::join(launcher.baseFolder, "$Exhibition");
}

std::string mebibytes(int64_t bytes) {
    char text[64];
    std::snprintf(text, sizeof text, "%.0f", static_cast<double>(bytes) / 1048576.0);
    return text;
}

} // namespace

bool UpdateTransfer::parkExhibitionFolder(const Launcher& launcher) {
    return launcher.file.movePath(launcher.exhibitionPath(), parkedFolder(launcher)).isOk();
}

bool UpdateTransfer::restoreExhibitionFolder(const Launcher& launcher) {
    if (File::exists(launcher.exhibitionPath()))
        return true;
    return launcher.file.movePath(parkedFolder(launcher), launcher.exhibitionPath()).isOk();
}

UpdateStartResult UpdateTransfer::begin(Launcher& launcher) {
    UpdateStartResult result;
    if (!launcher.remoteVersion || !launcher.remoteVersion->file_url)
        return result;
    const std::string& url = *launcher.remoteVersion->file_url;

    Expected<std::string> archive = ReleaseArchive::pathFor(launcher, url);
    if (!archive) {
        launcher.writeLog("Update archive: " + archive.error());
        result.outcome = UpdateStart::Refused;
        result.confirmText = launcher.ini.message("msg33");
        return result;
    }
    if (!parkExhibitionFolder(launcher)) {
        result.outcome = UpdateStart::NotParked;
        result.confirmText = launcher.ini.message("msg27");
        return result;
    }

    launcher.closeBlocked = true;
    result.outcome = UpdateStart::Started;
    result.archivePath = std::move(archive.value());
    result.request.url = url;
    result.request.timeout = launcher.timings.requestTimeout;
    // An archive cut short continues at the next update to the same version.
    result.request.resumeFile = PartialDownload::dataPath(
        launcher.privateFolder, std::filesystem::path(result.archivePath).filename().string());
    result.request.resumeTag = launcher.remoteVersion->version;
    result.confirmText = launcher.ini.message("msg28");
    result.progressText = launcher.ini.message("msg29");
    return result;
}

TransferProgress UpdateTransfer::progress(const Launcher& launcher, int64_t written,
                                          int64_t expected) {
    return {progressBarValue(written, expected), progressText(launcher, written, expected),
            launcher.closeRequested.load()};
}

std::string UpdateTransfer::progressText(const Launcher& launcher, int64_t written,
                                         int64_t expected) {
    return launcher.ini.message("msg29") + " (" + mebibytes(written) + "/" + mebibytes(expected) +
           " MB)";
}

int UpdateTransfer::progressBarValue(int64_t written, int64_t expected) {
    if (expected == 0)
        return 0;
    // An unknown total (-1) gives a negative value, which the bar ignores.
    double percent = static_cast<double>(written) / static_cast<double>(expected) * 100.0;
    return static_cast<int>(std::clamp(percent, -1000.0, 1000.0));
}

std::string UpdateTransfer::transferError(const std::string& error, std::optional<int> status) {
    if (!error.empty() || !status || (*status >= 200 && *status <= 299))
        return error;
    return "HTTP " + std::to_string(*status);
}

TransferEndResult UpdateTransfer::completed(Launcher& launcher, const std::string& error,
                                            bool cancelled, const std::string& archivePath) {
    if (!restoreExhibitionFolder(launcher)) {
        std::string text = launcher.ini.message("msg31");
        launcher.writeLog(text);
        // Nothing runs any more, and the window must be free to close.
        launcher.closeBlocked = false;
        return {TransferEnd::RestoreFailed, text};
    }
    if (error.empty()) {
        if (archivePath.empty())
            return {TransferEnd::NoArchive, {}};
        return {TransferEnd::Install, launcher.ini.message("msg32")};
    }
    if (cancelled) {
        launcher.closeBlocked = false;
        return {TransferEnd::Cancelled, {}};
    }
    // Nothing runs any more: the window must be free to close.
    launcher.closeBlocked = false;
    printDiagnostic(error);
    return {TransferEnd::Failed, launcher.ini.message("msg30")};
}

} // namespace dravik
