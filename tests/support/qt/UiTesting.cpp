#include "support/qt/UiTesting.h"

#include "app/Storyboard.h"
#include "update/ViewControllerUpdate.h"

#include <QCoreApplication>
#include <QThread>
#include <filesystem>

namespace dravik::test {

bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    auto until = std::chrono::steady_clock::now() + limit;
    while (!done() && std::chrono::steady_clock::now() < until) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return done();
}

void waitFor(std::chrono::milliseconds duration) {
    waitUntil([] { return false; }, duration);
}

UiLauncher::UiLauncher(const std::string& serviceBaseUrl, const std::string& caBundle)
    : workers(std::make_unique<ThreadWorkers>()),
      http(std::make_unique<CurlHttp>(mainThread, caBundle)) {
    namespace fs = std::filesystem;
    fs::create_directories(base() + "/Exhibition");
    fs::create_directories(privateFolder());
    std::string bundle = temp / "bundle/Dravik.app";
    fs::create_directories(bundle + "/Contents/Resources");
    fs::copy_file(DRAVIK_BUNDLE_DIR "/Contents/Resources/version_mac.json",
                  bundle + "/Contents/Resources/version_mac.json");
    fs::copy_file(DRAVIK_BUNDLE_DIR "/Contents/Resources/Splash.gif",
                  bundle + "/Contents/Resources/Splash.gif");
    platform.reset(new Platform{alerts, mainThread, *workers, *http, processes, desktop, desktop,
                                desktop, fileFlags, audio,
                                BundleInfo{bundle, bundle + "/Contents/Resources", "1.0.0", "7"}});
    launcher = std::make_unique<Launcher>(*platform, privateFolder(), base(), serviceBaseUrl);
    launcher->timings.pollInterval = std::chrono::milliseconds(5);
    launcher->exitProcess = [this] {
        ++exits;
    };
}

UiLauncher::~UiLauncher() {
    // Workers still running finish first; they may post to the main thread meanwhile.
    waitFor(std::chrono::milliseconds(20));
    workers.reset();
    QCoreApplication::processEvents();
}

std::string UiLauncher::exhibition(const std::string& relative) const {
    return relative.empty() ? base() + "/Exhibition" : base() + "/Exhibition/" + relative;
}

std::vector<std::string> UiLauncher::logLines() const {
    return runLogLines(privateFolder());
}

void addUpdateRoad(Storyboard& storyboard) {
    storyboard.add("DravikToUpdate", Storyboard::Presentation::ReplaceView,
                   [](Launcher& launcher, WindowController& window) -> QWidget* {
                       return new ViewControllerUpdate(launcher, window);
                   });
    storyboard.add("UpdateToDownload", Storyboard::Presentation::ReplaceView,
                   [](Launcher&, WindowController&) -> QWidget* {
                       auto* view = new QWidget;
                       view->setObjectName("Download");
                       return view;
                   });
}

} // namespace dravik::test
