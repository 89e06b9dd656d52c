#include "exhibition/ViewerLauncher.h"

#include "common/Diagnostics.h"
#include "common/File.h"
#include "common/Launcher.h"
#include "platform/Alerts.h"
#include "platform/Processes.h"

#include <thread>

namespace dravik {

std::string ViewerLauncher::executablePath() const {
    return m_launcher.exhibitionPath("Kestrane.app/Contents/MacOS/Kestrane");
}

ViewerLaunch ViewerLauncher::launch() {
    const std::string path = executablePath();
    if (!File::exists(path)) {
        const std::string text = "Can not start Kestrane";
        m_launcher.writeLog(text);
        m_launcher.platform.alerts.critical(text);
        return ViewerLaunch::Missing;
    }
    // Called on a watcher thread: only the atomic flag may be touched there.
    std::atomic<bool>& closeRequested = m_launcher.closeRequested;
    Status started = m_launcher.platform.processes.startDetached(
        path, {}, [&closeRequested] { closeRequested = true; });
    if (!started) {
        printDiagnostic(started.error());
        return ViewerLaunch::StartFailed;
    }
    activateViewerWindow();
    return ViewerLaunch::Started;
}

void ViewerLauncher::activateViewerWindow() {
    WindowList& windows = m_launcher.platform.windows;
    for (int scan = 1; scan <= kMaxScans; ++scan) {
        if (std::optional<int32_t> pid = viewerProcessId(windows.windowsFrontToBack())) {
            windows.activate(*pid); // an application that has gone meanwhile ends the watch too
            return;
        }
        std::this_thread::sleep_for(m_launcher.timings.pollInterval);
    }
}

std::optional<int32_t> ViewerLauncher::viewerProcessId(const std::vector<WindowInfo>& windows) {
    for (const WindowInfo& window : windows) {
        if (window.ownerName == kOwnerName)
            return window.ownerPid;
    }
    return std::nullopt;
}

} // namespace dravik
