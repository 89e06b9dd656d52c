#include "app/Startup.h"

#include "common/Diagnostics.h"
#include "common/File.h"
#include "common/Launcher.h"
#include "common/Leftovers.h"
#include "common/PrivateFolder.h"
#include "platform/Alerts.h"
#include "platform/BundlePlacement.h"
#include "platform/Processes.h"
#include "platform/RunningApplications.h"
#include "update/InstallTransaction.h"
#include "update/ParkedExhibition.h"

#include <filesystem>
#include <thread>
#include <unistd.h>

namespace dravik {

namespace {

const std::string kTargetPrefix = "TargetPath=";
const std::string kCopyExecutable = "Dravik.app/Contents/MacOS/Dravik";
constexpr int kMarkerPolls = 10;

// What the visitor reads when the bundle cannot work where it was started.
std::string startPlaceText(StartPlace place, const std::string& baseFolder) {
    const std::string move = "Dravik.app と Exhibition フォルダが入ったフォルダを、"
                             "フォルダごと Finder で書き込みのできる場所"
                             "（アプリケーションフォルダなど）へ移動してから、"
                             "もう一度起動して下さい。";
    switch (place) {
    case StartPlace::Translocated:
        return "ダウンロードした場所からは起動できません。\n" + move;
    case StartPlace::ReadOnly:
        return "書き込みのできないフォルダからは起動できません。\n" + baseFolder + "\n" + move;
    case StartPlace::AccessRefused:
        return "フォルダへのアクセスが許可されていません。\n" + baseFolder + "\n" +
               "システム設定の「プライバシーとセキュリティ」で Dravik にアクセスを許可するか、" +
               move;
    case StartPlace::Usable:
        break;
    }
    return {};
}

} // namespace

bool startPlaceIsUsable(const std::vector<std::string>& arguments, const std::string& bundlePath,
                        BundlePlacement& placement, Alerts& alerts) {
    if (!Startup::baseFolderFrom(arguments).empty())
        return true;
    StartPlace place = placement.check(bundlePath);
    if (place == StartPlace::Usable)
        return true;
    const std::string text =
        startPlaceText(place, std::filesystem::path(bundlePath).parent_path().string());
    printDiagnostic(text);
    alerts.critical(text);
    return false;
}

int countRunningApplications(RunningApplications& applications, const std::string& name) {
    int count = 0;
    for (const auto& running : applications.names())
        if (running == name || running == name + ".app")
            ++count;
    return count;
}

Startup::Startup(Launcher& launcher, std::vector<std::string> arguments)
    : m_launcher(launcher), m_arguments(std::move(arguments)),
      m_lock(launcher.privatePath("Dravik.lock")) {}

std::string Startup::baseFolderFrom(const std::vector<std::string>& arguments) {
    std::string base;
    for (const auto& argument : arguments)
        if (argument.compare(0, kTargetPrefix.size(), kTargetPrefix) == 0)
            base = argument.substr(kTargetPrefix.size());
    return base;
}

Startup::Outcome Startup::run() {
    if (!preparePrivateFolder())
        return Outcome::Exit;
    m_markerPath = m_launcher.privatePath("double_startup_check");
    m_launcher.writeLog("Dravik Start");
    for (const auto& argument : m_arguments)
        m_launcher.writeLog(argument);
    m_launcher.baseFolder = baseFolderFrom(m_arguments);
    if (!m_launcher.baseFolder.empty())
        return runPrivateCopy(); // it reads the installation only after recovering it
    loadMessageTable();
    return runStarter();
}

void Startup::loadMessageTable() {
    std::string path = m_launcher.exhibitionPath("Dravik.ini");
    if (!File::exists(path))
        path = m_launcher.platform.bundle.bundlePath + "/../Exhibition/Dravik.ini";
    m_launcher.ini = Ini::load(path);
}

bool Startup::preparePrivateFolder() {
    const std::string& folder = m_launcher.privateFolder;
    if (Status created = PrivateFolder::create(folder); !created) {
        // As any folder that cannot be created: told, and the start goes on without a log.
        m_launcher.platform.alerts.critical(created.error());
        printDiagnostic(created.error());
        return true;
    }
    if (Status secured = PrivateFolder::secure(folder); !secured) {
        // Nothing of ours (log, token, copy) may be written into another user's folder.
        m_launcher.log = RunLog();
        printDiagnostic(secured.error());
        m_launcher.platform.alerts.critical(secured.error());
        return false;
    }
    return true;
}

bool Startup::anotherLauncher() {
    switch (m_lock.acquire()) {
    case InstanceLock::State::Held:
        // Other starts are refusing now; a window is open only where the private copy runs. An
        // older launcher, from before the lock, runs there without holding it.
        for (int pid : m_launcher.platform.runningApplications.processesRunning(
                 m_launcher.privatePath(kCopyExecutable)))
            if (pid != ::getpid())
                return true;
        return false;
    case InstanceLock::State::Busy:
        return true;
    case InstanceLock::State::Unavailable:
        break;
    }
    return countRunningApplications(m_launcher.platform.runningApplications, "Dravik") >= 2;
}

bool Startup::holdsInstanceLock() {
    InstanceLock::State state = m_lock.adopt();
    // A copy whose starter could not pass the lock down waits for the starter, which lets it go
    // when it ends (at the latest after its wait for the marker).
    for (int poll = 0; state == InstanceLock::State::Busy && poll < kMarkerPolls + 2; ++poll) {
        std::this_thread::sleep_for(m_launcher.timings.pollInterval);
        state = m_lock.adopt();
    }
    return state != InstanceLock::State::Busy;
}

bool Startup::runsFromPrivateCopy(const std::string& copyPath) const {
    std::error_code error;
    return std::filesystem::equivalent(m_launcher.platform.bundle.bundlePath, copyPath, error);
}

Startup::Outcome Startup::refuse(const std::string& text) {
    m_launcher.writeLog(text);
    m_launcher.platform.alerts.critical(text);
    m_launcher.writeLog("exit(0)");
    return Outcome::Exit;
}

Startup::Outcome Startup::runStarter() {
    Platform& platform = m_launcher.platform;
    if (anotherLauncher())
        return refuse(m_launcher.ini.message("msg13"));

    const std::string copyPath = m_launcher.privatePath("Dravik.app");
    const std::string bundlePath = platform.bundle.bundlePath;
    if (runsFromPrivateCopy(copyPath))
        return refuse("起動できません");

    bool markerCreated = PrivateFolder::writeFile(m_markerPath, "").isOk();
    m_launcher.writeLog("createFile(" + m_markerPath + ")->" + (markerCreated ? "OK" : "NG"));
    // A failed copy is printed by File and leaves the earlier copy whole; that one still starts,
    // and a start without any copy fails below and says so.
    (void)m_launcher.file.copyPath(bundlePath, copyPath);

    // The copy is started directly with its one argument, so any path reaches it unchanged.
    std::string baseFolder = std::filesystem::path(bundlePath).parent_path().string();
    // The copy gets the instance lock and nothing else the starter holds.
    Status started =
        platform.processes.startDetached(m_launcher.privatePath(kCopyExecutable),
                                         {kTargetPrefix + baseFolder}, {}, m_lock.inheritable());
    if (started)
        waitForStartedCopy(m_markerPath);
    else
        printDiagnostic(started.error());
    m_launcher.writeLog("exit(0)");
    return Outcome::Exit;
}

Startup::Outcome Startup::runPrivateCopy() {
    bool removed = m_launcher.file.removePath(m_markerPath).isOk();
    m_launcher.writeLog("deleteFile(" + m_markerPath + ")->" + (removed ? "OK" : "NG"));
    if (!File::exists(m_launcher.baseFolder))
        return refuse("パラメータ(パス)が間違っています");
    if (!holdsInstanceLock()) {
        loadMessageTable();
        return refuse(m_launcher.ini.message("msg13"));
    }
    recoverInstallation();
    loadMessageTable();
    if (countRunningApplications(m_launcher.platform.runningApplications, "Kestrane") >= 1)
        return refuse(m_launcher.ini.message("msg13"));
    return Outcome::RunApplication;
}

void Startup::recoverInstallation() {
    ParkedExhibition(m_launcher).restore();
    InstallTransaction::recover(m_launcher);
    Leftovers leftovers(m_launcher);
    for (const std::string& folder :
         {m_launcher.privateFolder, m_launcher.baseFolder, m_launcher.exhibitionPath()})
        leftovers.sweep(folder);
}

void Startup::waitForStartedCopy(const std::string& markerPath) {
    m_launcher.writeLog("WaitDravik Start");
    for (int poll = 0; poll < kMarkerPolls; ++poll) {
        if (!File::exists(markerPath))
            break;
        std::this_thread::sleep_for(m_launcher.timings.pollInterval);
    }
    m_launcher.writeLog("WaitDravik End");
}

} // namespace dravik
