// The window list and activation against a real X server (Xvfb) with a real window manager
// (openbox), with the substitute viewer's windows.

#include "platform/linux/LinuxWindowList.h"

#include "ProcessProbe.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <thread>
#include <xcb/xcb.h>

namespace dravik {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::string kViewer =
    DRAVIK_BINARY_DIR "/viewer/Exhibition/Kestrane.app/Contents/MacOS/Kestrane";

// Waits until the condition holds, at most 30 seconds (a loaded machine starts Qt slowly).
template <typename Condition> bool eventually(Condition condition) {
    auto until = std::chrono::steady_clock::now() + 30s;
    while (std::chrono::steady_clock::now() < until) {
        if (condition())
            return true;
        std::this_thread::sleep_for(50ms);
    }
    return condition();
}

// Where the window of this process stands in the list, front first; -1 when it is not listed.
int placeOf(const std::vector<WindowInfo>& windows, pid_t pid) {
    auto it = std::find_if(windows.begin(), windows.end(),
                           [pid](const WindowInfo& window) { return window.ownerPid == pid; });
    return it == windows.end() ? -1 : static_cast<int>(it - windows.begin());
}

// Whether the X server started as server holds display number: its lock file names it, and its
// socket is there.
bool serves(pid_t server, int number) {
    std::ifstream lock("/tmp/.X" + std::to_string(number) + "-lock");
    long owner = 0;
    return lock >> owner && owner == server &&
           fs::exists("/tmp/.X11-unix/X" + std::to_string(number));
}

bool hasEnded(pid_t pid) {
    return pid <= 0 || waitpid(pid, nullptr, WNOHANG) == pid;
}

class LinuxWindowListTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (access("/usr/bin/Xvfb", X_OK) != 0 || access("/usr/bin/openbox", X_OK) != 0)
            return;
        s_servers = new test::ProcessProbe;
        for (int number = 73; number < 120 && s_display.empty(); ++number) {
            if (fs::exists("/tmp/.X" + std::to_string(number) + "-lock") ||
                fs::exists("/tmp/.X11-unix/X" + std::to_string(number)))
                continue;
            std::string display = ":" + std::to_string(number);
            pid_t server = s_servers->start(
                "/usr/bin/Xvfb", {display, "-screen", "0", "1280x800x24", "-nolisten", "tcp"});
            // Another test program may start a server on the same number at the same moment:
            // the display is ours only when our server holds its lock.
            if (eventually([&] { return serves(server, number) || hasEnded(server); }) &&
                serves(server, number))
                s_display = display;
        }
        if (s_display.empty())
            return;
        setenv("DISPLAY", s_display.c_str(), 1);
        s_servers->start("/usr/bin/openbox", {}, {"DISPLAY=" + s_display});
        // Give the window manager a moment to take over the screen.
        eventually([&] {
            xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
            bool up = !xcb_connection_has_error(connection);
            xcb_disconnect(connection);
            return up;
        });
        std::this_thread::sleep_for(500ms);
    }
    static void TearDownTestSuite() {
        delete s_servers;
        s_servers = nullptr;
    }

    void SetUp() override {
        if (s_display.empty())
            GTEST_SKIP() << "Xvfb and openbox are needed (Debian packages xvfb, openbox)";
    }

    pid_t startViewer() {
        return m_processes.start(kViewer, {}, {"QT_QPA_PLATFORM=xcb", "DISPLAY=" + s_display});
    }

    static inline test::ProcessProbe* s_servers = nullptr;
    static inline std::string s_display;
    test::ProcessProbe m_processes;
    LinuxWindowList m_windows;
};

TEST_F(LinuxWindowListTest, ListsWindowsFrontToBackAndActivatesByProcess) {
    pid_t first = startViewer();
    ASSERT_TRUE(eventually([&] { return placeOf(m_windows.windowsFrontToBack(), first) >= 0; }))
        << "the viewer's window was not listed; viewer still running: "
        << (waitpid(first, nullptr, WNOHANG) == 0);
    pid_t second = startViewer();
    ASSERT_TRUE(eventually([&] { return placeOf(m_windows.windowsFrontToBack(), second) == 0; }))
        << "the newest window is in front";

    // The window manager finishes giving the new window the focus before it is asked again.
    std::this_thread::sleep_for(500ms);
    auto windows = m_windows.windowsFrontToBack();
    EXPECT_EQ(windows[0].ownerName, "Kestrane");
    EXPECT_EQ(placeOf(windows, first), 1);

    EXPECT_TRUE(m_windows.activate(first));
    EXPECT_TRUE(eventually([&] { return placeOf(m_windows.windowsFrontToBack(), first) == 0; }));
}

TEST_F(LinuxWindowListTest, ProcessesWithoutWindowsAndWindowsWithoutProcesses) {
    // A viewer process that shows no window is not listed and cannot be activated.
    pid_t windowless = m_processes.start(m_processes.program("Kestrane"));
    ASSERT_GT(windowless, 0);
    EXPECT_EQ(placeOf(m_windows.windowsFrontToBack(), windowless), -1);
    EXPECT_FALSE(m_windows.activate(windowless));

    // A window that names a process that has exited is listed without an owner name, and its
    // process cannot be activated.
    pid_t gone = fork();
    if (gone == 0)
        _exit(0);
    ASSERT_EQ(waitpid(gone, nullptr, 0), gone);
    xcb_connection_t* x = xcb_connect(nullptr, nullptr);
    ASSERT_FALSE(xcb_connection_has_error(x));
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(x)).data;
    xcb_window_t window = xcb_generate_id(x);
    xcb_create_window(x, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 200, 100, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
    auto* atom = xcb_intern_atom_reply(x, xcb_intern_atom(x, 0, 11, "_NET_WM_PID"), nullptr);
    uint32_t pid = static_cast<uint32_t>(gone);
    xcb_change_property(x, XCB_PROP_MODE_REPLACE, window, atom->atom, XCB_ATOM_CARDINAL, 32, 1,
                        &pid);
    free(atom);
    xcb_map_window(x, window);
    xcb_flush(x);

    ASSERT_TRUE(eventually([&] { return placeOf(m_windows.windowsFrontToBack(), gone) >= 0; }));
    auto windows = m_windows.windowsFrontToBack();
    EXPECT_EQ(windows[static_cast<size_t>(placeOf(windows, gone))].ownerName, "");
    EXPECT_FALSE(m_windows.activate(gone));
    xcb_disconnect(x);
}

} // namespace
} // namespace dravik
