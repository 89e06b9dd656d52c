#pragma once

#include "common/DownloadList.h"
#include "common/File.h"
#include "common/Ini.h"
#include "common/Records.h"
#include "common/RunLog.h"
#include "platform/BundleInfo.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <string>

namespace dravik {

class Alerts;
class AudioPlayer;
class BackgroundActivity;
class Desktop;
class DiskSync;
class FileFlags;
class Http;
class MainThread;
class Processes;
class RunningApplications;
class WindowList;
class Workers;

// The operating-system services the launcher uses; main builds the real ones, tests their fakes.
struct Platform {
    Alerts& alerts;
    MainThread& mainThread;
    Workers& workers;
    Http& http;
    Processes& processes;
    Desktop& desktop;
    RunningApplications& runningApplications;
    WindowList& windows;
    FileFlags& fileFlags;
    AudioPlayer& audio;
    DiskSync& diskSync;
    BackgroundActivity& activity;
    BundleInfo bundle;
};

// Waits that tests shorten; the defaults are the product's.
struct Timings {
    std::chrono::milliseconds requestTimeout{60000};
    std::chrono::milliseconds pollInterval{500};
};

// Everything the launcher shares across its parts during one process.
class Launcher {
public:
    Launcher(Platform& platform, std::string privateFolder, std::string baseFolder,
             std::string serviceBaseUrl);
    Launcher(const Launcher&) = delete;
    Launcher& operator=(const Launcher&) = delete;

    Platform& platform;
    File file;
    std::string privateFolder;  // per-user folder with the run log, the marker and the copy
    std::string baseFolder;     // the folder given by TargetPath=, beside Exhibition
    std::string serviceBaseUrl; // scheme and host of the exhibition service, without a slash
    RunLog log;
    Ini ini;
    Timings timings;

    // Sign-in state, of the current Start only.
    std::optional<QZ_AUTH> authRecord;
    std::optional<int64_t> invitedExhibitionId;
    std::optional<int64_t> invitedHallId;
    // Forgets the token and the invited ids of an earlier Start.
    void clearSignInState();

    // Installed and published version records.
    std::optional<QZ_VERSION> localVersion;
    std::optional<QZ_VERSION> remoteVersion;

    DownloadList downloadList;

    // The close guard: set while a transfer runs / a close was asked for meanwhile.
    std::atomic<bool> closeBlocked{false};
    std::atomic<bool> closeRequested{false};

    // Ends the process at once with status 0 (the explicit exits). Called on the main thread;
    // tests replace it.
    std::function<void()> exitProcess;

    void writeLog(const std::string& text) const { log.write(text); }
    std::string getIniValue(std::string_view key, std::string_view defaultValue) const {
        return ini.getIniValue(key, defaultValue);
    }
    // <base>/Exhibition/<relative>, or <base>/Exhibition for an empty relative path.
    std::string exhibitionPath(const std::string& relative = {}) const;
    // <private>/<name>
    std::string privatePath(const std::string& name) const;
    // <service>/exhibition/api/v1/<path>
    std::string apiUrl(const std::string& path) const;
};

// Writes the text to the run log and shows it in an alert on the main thread; the calling worker
// waits until the visitor has closed it.
void showAlertAndWait(Launcher& launcher, const std::string& text);

} // namespace dravik
