#include "app/Startup.h"

#include "common/Diagnostics.h"
#include "common/File.h"
#include "common/Launcher.h"
#include "common/PrivateFolder.h"
#include "platform/Alerts.h"
#include "platform/Processes.h"
#include "platform/RunningApplications.h"

#include <filesystem>
#include <thread>

namespace dravik {

namespace {

const std::string kTargetPrefix = "TargetPath=";
constexpr int kMarkerPolls = 10;

} // namespace

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
    loadMessageTable();
    return m_launcher.baseFolder.empty() ? runStarter() : runPrivateCopy();
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
        // Other launcher processes now are starts that lost the lock and are refusing.
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

    bool markerCreated = File::writeAll(m_markerPath, "").isOk();
    m_launcher.writeLog("createFile(" + m_markerPath + ")->" + (markerCreated ? "OK" : "NG"));
    m_launcher.file.copyPath(bundlePath, copyPath);

    // The copy is started directly with its one argument, so any path reaches it unchanged.
    std::string baseFolder = std::filesystem::path(bundlePath).parent_path().string();
    // The copy gets the instance lock and nothing else the starter holds.
    Status started =
        platform.processes.startDetached(copyPath + "/Contents/MacOS/Dravik",
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
    if (!holdsInstanceLock())
        return refuse(m_launcher.ini.message("msg13"));
    if (countRunningApplications(m_launcher.platform.runningApplications, "Kestrane") >= 1)
        return refuse(m_launcher.ini.message("msg13"));
    return Outcome::RunApplication;
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
