#include "support/qt/UiTesting.h"

#include "app/Storyboard.h"
#include "update/ui/ViewControllerUpdate.h"

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
    for (const char* name : {"version_mac.json", "Splash.gif"})
        std::filesystem::copy_file(DRAVIK_BUNDLE_DIR "/Contents/Resources/" + std::string(name),
                                   resources() + "/" + name);
    build(mainThread, *workers, *http, serviceBaseUrl, "7", std::chrono::milliseconds(5));
}

UiLauncher::~UiLauncher() {
    // Workers still running finish first; they may post to the main thread meanwhile.
    waitFor(std::chrono::milliseconds(20));
    workers.reset();
    QCoreApplication::processEvents();
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
