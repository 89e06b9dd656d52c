// The window list and activation against a real X server (Xvfb) with a real window manager
// (openbox), with the substitute viewer's windows.

#include "system/linux/LinuxWindowList.h"

#include "ProcessProbe.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <thread>
#include <xcb/xcb.h>

namespace dravik {
namespace {

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

// The display number an X server started with -displayfd writes once it listens; empty when it
// reports none within 30 seconds.
std::string reportedDisplay(int readEnd) {
    std::string number;
    pollfd report{readEnd, POLLIN, 0};
    char c = 0;
    while (poll(&report, 1, 30000) == 1 && read(readEnd, &c, 1) == 1 && c != '\n')
        number += c;
    return c == '\n' && !number.empty() ? ":" + number : "";
}

// Whether the window manager manages a window mapped now: it lists it within a quarter second.
// Its announcement on the root window comes before it is ready to take new windows.
bool windowManagerTakesWindows() {
    xcb_connection_t* x = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(x)) {
        xcb_disconnect(x);
        return false;
    }
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(x)).data;
    xcb_window_t probe = xcb_generate_id(x);
    xcb_create_window(x, XCB_COPY_FROM_PARENT, probe, screen->root, 0, 0, 10, 10, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
    xcb_map_window(x, probe);
    const char name[] = "_NET_CLIENT_LIST";
    auto* atom = xcb_intern_atom_reply(x, xcb_intern_atom(x, 0, sizeof name - 1, name), nullptr);
    bool listed = false;
    for (int attempt = 0; atom && attempt < 25 && !listed; ++attempt) {
        std::this_thread::sleep_for(10ms);
        auto* clients = xcb_get_property_reply(
            x, xcb_get_property(x, 0, screen->root, atom->atom, XCB_ATOM_WINDOW, 0, 4096), nullptr);
        if (clients) {
            auto* windows = static_cast<xcb_window_t*>(xcb_get_property_value(clients));
            int count = xcb_get_property_value_length(clients) / 4;
            listed = std::find(windows, windows + count, probe) != windows + count;
        }
        free(clients);
    }
    free(atom);
    xcb_destroy_window(x, probe);
    xcb_disconnect(x);
    return listed;
}

class LinuxWindowListTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (access("/usr/bin/Xvfb", X_OK) != 0 || access("/usr/bin/openbox", X_OK) != 0)
            return;
        s_servers = new test::ProcessProbe;
        // The server itself takes the first free display number, which no other program can
        // take from it between choosing and listening.
        int report[2];
        if (pipe(report) != 0)
            return;
        s_servers->start("/usr/bin/Xvfb", {"-displayfd", std::to_string(report[1]), "-screen", "0",
                                           "1280x800x24", "-nolisten", "tcp"});
        close(report[1]);
        s_display = reportedDisplay(report[0]);
        close(report[0]);
        if (s_display.empty())
            return;
        setenv("DISPLAY", s_display.c_str(), 1);
        s_servers->start("/usr/bin/openbox", {}, {"DISPLAY=" + s_display});
        eventually(windowManagerTakesWindows);
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
