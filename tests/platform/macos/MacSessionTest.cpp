// The Mac's session services against the runner's window server: this test program's own window
// in the window list, its activation, the running applications and the background activity.

#include "system/macos/MacBackgroundActivity.h"
#include "system/macos/MacRunningApplications.h"
#include "system/macos/MacWindowList.h"

#include <QApplication>
#include <QWidget>
#include <chrono>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace dravik {
namespace {

using ::testing::Contains;

std::optional<WindowInfo> ownWindow(MacWindowList& list) {
    for (int round = 0; round < 50; ++round) {
        QApplication::processEvents();
        for (const WindowInfo& window : list.windowsFrontToBack())
            if (window.ownerPid == ::getpid())
                return window;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return std::nullopt;
}

pid_t endedProcess() {
    pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}

TEST(MacWindowList, ThisProgramsWindowIsListedUnderItsApplicationsNameAndActivated) {
    QWidget window;
    window.setWindowTitle("Dravik window-list test");
    window.resize(240, 120);
    window.show();
    window.raise();
    MacWindowList list;
    std::optional<WindowInfo> listed = ownWindow(list);
    ASSERT_TRUE(listed.has_value()) << "no window of this process in the window server's list";
    // The viewer's watch finds its window by the name the running applications count it under.
    EXPECT_THAT(MacRunningApplications().names(), Contains(listed->ownerName));
    EXPECT_TRUE(list.activate(::getpid()));
    EXPECT_FALSE(list.activate(endedProcess()));
}

TEST(MacBackgroundActivity, ActivitiesBeginAndEndInAnyOrder) {
    MacBackgroundActivity activity;
    auto first = activity.begin("Downloading the exhibition's files");
    auto second = activity.begin("");
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    first.reset();
    second.reset();
}

} // namespace
} // namespace dravik
