#pragma once

// Starts the viewer Kestrane beside the launcher and brings its window to the front. Runs on the
// main thread, which the watch blocks for up to ten poll intervals.

#include "platform/WindowList.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace dravik {

class Launcher;

enum class ViewerLaunch {
    Missing,     // no executable: logged and alerted; the caller ends the process
    StartFailed, // printed on standard output; the downloads go on
    Started,     // started, and brought to the front if its window showed up in time
};

class ViewerLauncher {
public:
    static constexpr const char* kOwnerName = "Kestrane";
    static constexpr int kMaxScans = 10;

    explicit ViewerLauncher(Launcher& launcher) : m_launcher(launcher) {}

    // <base>/Exhibition/Kestrane.app/Contents/MacOS/Kestrane
    std::string executablePath() const;

    // Starts the executable directly with no arguments; its end sets launcher.closeRequested.
    ViewerLaunch launch();

    // Scans the window list until the viewer's window is found (then activates its process) or
    // kMaxScans scans have missed it, pausing one poll interval after each miss.
    void activateViewerWindow();

    // The process id of the frontmost window owned exactly by the viewer, when that window has
    // one.
    static std::optional<int32_t> viewerProcessId(const std::vector<WindowInfo>& windows);

private:
    Launcher& m_launcher;
};

} // namespace dravik
