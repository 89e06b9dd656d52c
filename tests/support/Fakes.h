#pragma once

// Test doubles of the platform services.

#include "common/Launcher.h"
#include "platform/Alerts.h"
#include "platform/AudioPlayer.h"
#include "platform/BackgroundActivity.h"
#include "platform/Desktop.h"
#include "platform/DiskSync.h"
#include "platform/FileFlags.h"
#include "platform/Http.h"
#include "platform/MainThread.h"
#include "platform/Processes.h"
#include "platform/RunningApplications.h"
#include "platform/WindowList.h"
#include "platform/Workers.h"

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace dravik::test {

// A result's failure text, "" for success, so that an assertion compares one string. A failure
// without a text would read as a success and is spelled out instead.
inline std::string failureText(const Status& status) {
    if (status)
        return {};
    return status.error().empty() ? "(a failure without a text)" : status.error();
}

// Records every alert and answers OK/Cancel alerts from a script (OK when the script is empty).
class FakeAlerts : public Alerts {
public:
    void critical(const std::string& text) override;
    bool criticalOkCancel(const std::string& text) override;
    bool informationalOkCancel(const std::string& text) override;

    void answerNext(bool ok);
    std::vector<std::string> texts() const;

private:
    bool nextAnswer();
    mutable std::mutex m_mutex;
    std::vector<std::string> m_texts;
    std::deque<bool> m_answers;
};

// Runs posted work at once on the calling thread.
class InlineMainThread : public MainThread {
public:
    bool isCurrent() const override { return true; }
    void post(std::function<void()> work) override { work(); }
    void postAndWait(std::function<void()> work) override { work(); }
};

// Runs worker jobs at once on the calling thread.
class InlineWorkers : public Workers {
public:
    void run(std::function<void()> work) override { work(); }
};

// Fails every request; tests that talk HTTP use the substitute service instead.
class NoHttp : public Http {
public:
    Expected<HttpResponse> request(const HttpRequest&) override;
    std::unique_ptr<Transfer> download(const HttpRequest&, const std::string&,
                                       TransferReceiver receiver) override;
};

// Records started programs; run() really runs them with posix_spawn, in the working folder and
// with /dev/null as standard input, as the production service does.
class RecordingProcesses : public Processes {
public:
    Expected<int> run(const std::string& program, const std::vector<std::string>& args,
                      const std::string& workingFolder = {}) override;
    Status startDetached(const std::string& program, const std::vector<std::string>& args,
                         std::function<void()> onExit, const std::vector<int>& inherited) override;

    struct Call {
        std::string program;
        std::vector<std::string> args;
        std::string workingFolder;
        std::vector<int> inherited;
    };
    std::vector<Call> calls;
    std::string startError;  // startDetached fails with it when set
    std::string unstartable; // run() fails to start the program of this name
    std::function<void()> lastOnExit;
};

// One fake for the desktop, the running applications and the window list.
class FakeDesktop : public Desktop, public RunningApplications, public WindowList {
public:
    std::vector<std::string> names() override { return running; }
    std::vector<int> processesRunning(const std::string& executablePath) override {
        auto found = runningExecutables.find(executablePath);
        return found == runningExecutables.end() ? std::vector<int>{} : found->second;
    }
    std::vector<WindowInfo> windowsFrontToBack() override;
    bool activate(int32_t pid) override;
    bool openUrl(const std::string& url) override;
    void openDisplaySettings() override { ++displaySettingsOpened; }
    std::pair<int, int> mainDisplaySize() override { return displaySize; }

    std::vector<std::string> running;
    std::map<std::string, std::vector<int>> runningExecutables; // executable path -> pids
    // One window list per scan; the last one repeats.
    std::vector<std::vector<WindowInfo>> windowScans;
    int scans = 0;
    std::vector<int32_t> activated;
    std::set<int32_t> runningPids;
    std::vector<std::string> openedUrls;
    int displaySettingsOpened = 0;
    std::pair<int, int> displaySize{1920, 1080};
};

// Keeps the immutable flag in memory and makes a flagged file read-only on disk, so that
// replacing it fails until the flag is cleared, as on a system with real flags.
class FakeFileFlags : public FileFlags {
public:
    bool isImmutable(const std::string& path) override;
    Status setImmutable(const std::string& path, bool on) override;
    Status copyTree(const std::string& source, const std::string& destination) override;

private:
    std::set<std::string> m_flagged;
};

// Syncs nothing; records each barrier's files, and runs onSync first.
class FakeDiskSync : public DiskSync {
public:
    Status syncFiles(const std::vector<std::string>& files) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (onSync)
            onSync(files);
        barriers.push_back(files);
        return Status::ok();
    }

    std::function<void(const std::vector<std::string>&)> onSync;
    std::vector<std::vector<std::string>> barriers;

private:
    std::mutex m_mutex;
};

class FakeAudioPlayer : public AudioPlayer {
public:
    void play(const std::string& file, double volume) override;
    void setVolume(double volume) override { this->volume = volume; }
    void stop() override;
    bool isPlaying() const override { return !playing.empty(); }

    std::string playing;
    double volume = 0;
    std::vector<std::string> played;
    int stops = 0;
};

// Counts the activities begun and those still held.
class FakeActivity : public BackgroundActivity {
public:
    std::unique_ptr<Hold> begin(const std::string& reason) override;

    std::vector<std::string> reasons;
    std::shared_ptr<int> held = std::make_shared<int>(0);
};

// A temporary base folder (with Exhibition/), private folder and HOME, removed at the end.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return m_path; }
    std::string operator/(const std::string& relative) const { return m_path + "/" + relative; }

private:
    std::string m_path;
};

// The fakes and folders every test launcher shares: a temporary base folder (with Exhibition/),
// private folder and bundle, and the launcher context over them, made by build() with the main
// thread, workers and HTTP service of the launcher that builds on this.
struct LauncherFakes {
    LauncherFakes();

    std::string base() const { return temp / "base"; }
    std::string exhibition(const std::string& relative = {}) const;
    std::string privateFolder() const { return temp / "private"; }
    std::string bundle() const { return temp / "bundle/Dravik.app"; }
    std::string resources() const { return bundle() + "/Contents/Resources"; }
    std::vector<std::string> logLines() const; // the texts of the run log, without time stamps

    TempFolder temp;
    FakeAlerts alerts;
    RecordingProcesses processes;
    FakeDesktop desktop;
    FakeFileFlags fileFlags;
    FakeAudioPlayer audio;
    FakeDiskSync diskSync;
    FakeActivity activity;
    std::unique_ptr<Platform> platform;
    std::unique_ptr<Launcher> launcher;
    std::atomic<int> exits{0}; // calls of launcher->exitProcess

protected:
    // (Re)makes the launcher context; state set on an earlier one is lost.
    void build(MainThread& mainThread, Workers& workers, Http& client,
               const std::string& serviceBaseUrl, const std::string& buildNumber,
               std::chrono::milliseconds pollInterval);
};

// A launcher context with everything run at once on the calling thread and no network.
struct TestLauncher : LauncherFakes {
    explicit TestLauncher(std::string serviceBaseUrl = "https://127.0.0.1:1");

    InlineMainThread mainThread;
    InlineWorkers workers;
    NoHttp noHttp;
    Http* http = &noHttp; // point at a real client in integration tests before use

    // Replaces the HTTP service (rebuilds the launcher context; state set before is lost).
    void useHttp(Http& client);

private:
    std::string m_serviceBaseUrl;
};

// The texts of the run log in the private folder, without time stamps, one per entry.
std::vector<std::string> runLogLines(const std::string& privateFolder);

// Whole-file helpers for arranging and inspecting test folders.
void writeFile(const std::string& path, const std::string& bytes);
std::string readFile(const std::string& path);
// UTF-8 text to UTF-16LE bytes with a byte-order mark.
std::string utf16le(const std::string& utf8, bool withBom = true);

// Every entry below root except the excluded folders, by path: its kind, then for files its size
// and modification time, and with withPermissions its permission bits after the kind. Two
// snapshots compare equal when nothing there was added, removed or changed.
std::map<std::string, std::string> snapshotTree(const std::string& root,
                                                const std::vector<std::string>& excluded,
                                                bool withPermissions = false);

} // namespace dravik::test
