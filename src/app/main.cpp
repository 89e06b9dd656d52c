// Process entry: the visitor's starter or the private copy (see Startup).

#include "app/AppDelegate.h"
#include "app/Startup.h"
#include "app/Storyboard.h"
#include "common/Launcher.h"
#include "exhibition/ui/ViewControllerDownload.h"
#include "parameters/ui/ViewControllerFPSControllerParameter.h"
#include "reset/ui/ViewControllerReset.h"
#include "system/SystemServices.h"
#include "system/curl/CurlHttp.h"
#include "system/posix/PosixProcesses.h"
#include "system/posix/ThreadWorkers.h"
#include "system/qt/QtAlerts.h"
#include "system/qt/QtApplication.h"
#include "system/qt/QtAudioPlayer.h"
#include "system/qt/QtDesktop.h"
#include "system/qt/QtMainThread.h"
#include "update/ui/ViewControllerUpdate.h"

#include <QApplication>

namespace {

using namespace dravik;

Storyboard makeStoryboard() {
    Storyboard storyboard;
    using P = Storyboard::Presentation;
    storyboard.add("DravikToDownload", P::ReplaceView,
                   [](Launcher& launcher, WindowController& window) -> QWidget* {
                       return new ViewControllerDownload(launcher, window);
                   });
    storyboard.add("DravikToUpdate", P::ReplaceView,
                   [](Launcher& launcher, WindowController& window) -> QWidget* {
                       return new ViewControllerUpdate(launcher, window);
                   });
    storyboard.add("UpdateToDownload", P::ReplaceView,
                   [](Launcher& launcher, WindowController& window) -> QWidget* {
                       return new ViewControllerDownload(launcher, window);
                   });
    storyboard.add("EditParameterSegue", P::Sheet,
                   [](Launcher& launcher, WindowController& window) -> QWidget* {
                       return new ViewControllerFPSControllerParameter(launcher, window);
                   });
    storyboard.add("ResetSegue", P::Sheet,
                   [](Launcher& launcher, WindowController& window) -> QWidget* {
                       return new ViewControllerReset(launcher, window);
                   });
    return storyboard;
}

// Declared after the launcher, so destroyed before it: the workers' jobs use the launcher, and
// they end while it is still there (a request of theirs ends within its timeout). The transfer
// engine writes its run-log line only while it builds a connection's trust, which no transfer
// asks for once the views, declared after the launcher too, have gone.
class WorkersEndBeforeLauncher {
public:
    explicit WorkersEndBeforeLauncher(ThreadWorkers& workers) : m_workers(workers) {}
    ~WorkersEndBeforeLauncher() { m_workers.waitForJobs(); }
    WorkersEndBeforeLauncher(const WorkersEndBeforeLauncher&) = delete;
    WorkersEndBeforeLauncher& operator=(const WorkersEndBeforeLauncher&) = delete;

private:
    ThreadWorkers& m_workers;
};

} // namespace

int main(int argc, char* argv[]) {
    const std::vector<std::string> arguments(argv, argv + argc);
    QtApplication::setArguments(argc, argv);
    // The starter hands over to the private copy and ends: it makes the window system's
    // application only when it has an alert to show.
    if (!Startup::baseFolderFrom(arguments).empty())
        QtApplication::ensure();

    // Objects go in the reverse order of these lines: each is declared after what it uses. The
    // main thread outlives everything that posts to it; the workers' jobs use every service,
    // HTTP included, so the workers come after them.
    QtMainThread mainThread;
    QtAlerts alerts(mainThread);
    PosixProcesses processes;
    SystemServices system = makeSystemServices();
    QtDesktop desktop(*system.displaySettings);
    QtAudioPlayer audio;
    TransferEngine::Settings transfers;
    transfers.extraAuthority = CurlHttp::builtInAuthority();
    CurlHttp http(mainThread, std::move(transfers));
    ThreadWorkers workers;
    Platform platform{alerts,
                      mainThread,
                      workers,
                      http,
                      processes,
                      desktop,
                      *system.runningApplications,
                      *system.windows,
                      *system.fileFlags,
                      audio,
                      *system.diskSync,
                      *system.activity,
                      system.bundle};
    Launcher launcher(platform, system.privateFolder, "", DRAVIK_SERVICE_URL);
    const WorkersEndBeforeLauncher workersEndFirst(workers);

    // A system without certificate authorities is worth a line in the run log.
    http.setRunLog([&launcher](const std::string& text) { launcher.writeLog(text); });

    if (!startPlaceIsUsable(arguments, system.bundle.bundlePath, *system.placement, alerts))
        launcher.exitProcess();
    Startup startup(launcher, arguments);
    if (startup.run() == Startup::Outcome::Exit)
        launcher.exitProcess();
    for (const std::string& note : system.notes)
        launcher.writeLog(note);

    Storyboard storyboard = makeStoryboard();
    AppDelegate delegate(launcher, storyboard);
    delegate.applicationDidFinishLaunching();
    QApplication::exec();
    delegate.applicationWillTerminate();
    launcher.writeLog("exit(0)");
    launcher.exitProcess();
}
