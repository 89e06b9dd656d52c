#include "exhibition/ViewerLauncher.h"

#include "support/Fakes.h"

#include <gtest/gtest.h>

namespace dravik::test {
namespace {

const char* const kExecutable = "Kestrane.app/Contents/MacOS/Kestrane";

TEST(ViewerLauncherTest, MissingExecutableIsReportedAndNothingStarts) {
    TestLauncher t;
    EXPECT_EQ(ViewerLauncher(*t.launcher).launch(), ViewerLaunch::Missing);
    EXPECT_EQ(t.alerts.texts(), std::vector<std::string>{"Can not start Kestrane"});
    EXPECT_EQ(t.logLines().back(), "Can not start Kestrane");
    EXPECT_TRUE(t.processes.calls.empty());
}

TEST(ViewerLauncherTest, StartsTheExecutableDirectlyAndItsEndRequestsTheClose) {
    TestLauncher t;
    writeFile(t.exhibition(kExecutable), "#!/bin/sh\n");
    t.desktop.windowScans = {{{"Kestrane", 42}}};
    t.desktop.runningPids = {42};
    EXPECT_EQ(ViewerLauncher(*t.launcher).launch(), ViewerLaunch::Started);

    ASSERT_EQ(t.processes.calls.size(), 1u);
    EXPECT_EQ(t.processes.calls[0].program, t.exhibition(kExecutable));
    EXPECT_TRUE(t.processes.calls[0].args.empty());
    EXPECT_EQ(t.desktop.activated, std::vector<int32_t>{42});
    EXPECT_TRUE(t.alerts.texts().empty());

    EXPECT_FALSE(t.launcher->closeRequested);
    ASSERT_TRUE(t.processes.lastOnExit);
    t.processes.lastOnExit();
    EXPECT_TRUE(t.launcher->closeRequested);
    EXPECT_FALSE(t.launcher->closeBlocked);
}

TEST(ViewerLauncherTest, AFailedStartSkipsTheWatch) {
    TestLauncher t;
    writeFile(t.exhibition(kExecutable), "");
    t.processes.startError = "Permission denied";
    EXPECT_EQ(ViewerLauncher(*t.launcher).launch(), ViewerLaunch::StartFailed);
    EXPECT_EQ(t.desktop.scans, 0);
    EXPECT_TRUE(t.alerts.texts().empty());
}

TEST(ViewerLauncherTest, WatchScansUntilTheViewersWindowShowsUp) {
    using Scan = std::vector<WindowInfo>;
    struct Case {
        const char* what;
        std::vector<Scan> scans; // the last one repeats
        int expectedScans;
        std::vector<int32_t> activated;
    };
    const Scan none = {{"Finder", 1}};
    const Case cases[] = {
        {"fifth scan", {{}, none, none, none, {{"Finder", 1}, {"Kestrane", 42}}}, 5, {42}},
        {"never listed", {none}, 10, {}},
        {"nothing listed at all", {}, 10, {}},
        {"owner name only begins with it", {{{"KestraneHelper", 42}, {"Kestrane ", 43}}}, 10, {}},
        {"letter case differs", {{{"kestrane", 42}}}, 10, {}},
        {"frontmost match without a process id",
         {{{"Kestrane", std::nullopt}, {"Kestrane", 42}}},
         10,
         {}},
        {"frontmost match decides", {{{"Kestrane", 42}, {"Kestrane", 43}}}, 1, {42}},
        {"application gone: the watch ends", {{{"Kestrane", 99}}}, 1, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestLauncher t;
        t.desktop.windowScans = c.scans;
        t.desktop.runningPids = {42, 43};
        ViewerLauncher(*t.launcher).activateViewerWindow();
        EXPECT_EQ(t.desktop.scans, c.expectedScans);
        EXPECT_EQ(t.desktop.activated, c.activated);
    }
}

} // namespace
} // namespace dravik::test
