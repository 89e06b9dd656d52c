#include "app/Startup.h"

#include "platform/BundlePlacement.h"
#include "support/Fakes.h"

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

namespace dravik {
namespace {

namespace fs = std::filesystem;
using Outcome = Startup::Outcome;

void usePrivateFolder(test::TestLauncher& t, const std::string& folder) {
    t.launcher->privateFolder = folder;
    t.launcher->log = RunLog(folder + "/Dravik_log.txt");
}

fs::perms modeOf(const std::string& path) {
    return fs::status(path).permissions() & fs::perms::all;
}

// Holds the instance lock from another process, as another launcher would.
class OtherLauncher {
public:
    explicit OtherLauncher(const std::string& lockPath) {
        int ready[2];
        EXPECT_EQ(::pipe(ready), 0);
        m_pid = ::fork();
        if (m_pid == 0) {
            int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT, 0600);
            if (fd >= 0 && ::flock(fd, LOCK_EX) == 0 && ::write(ready[1], "x", 1) == 1)
                ::pause();
            ::_exit(1);
        }
        char held = 0;
        EXPECT_EQ(::read(ready[0], &held, 1), 1);
        ::close(ready[0]);
        ::close(ready[1]);
    }
    ~OtherLauncher() {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }

private:
    pid_t m_pid = -1;
};

Outcome start(test::TestLauncher& t, std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "Dravik");
    return Startup(*t.launcher, arguments).run();
}

TEST(StartupTest, ThePrivateCopyKnowsItselfThroughASymbolicLink) {
    test::TestLauncher t;
    std::string real = t.temp / "real";
    test::writeFile(real + "/Dravik.app/Contents/MacOS/Dravik", "the copy");
    fs::create_directory_symlink(real, t.temp / "link");
    usePrivateFolder(t, t.temp / "link");
    t.platform->bundle.bundlePath = real + "/Dravik.app"; // as the system reports it

    EXPECT_EQ(start(t, {}), Outcome::Exit);
    EXPECT_EQ(t.alerts.texts(), std::vector<std::string>{"起動できません"});
    EXPECT_EQ(test::readFile(real + "/Dravik.app/Contents/MacOS/Dravik"), "the copy");
    EXPECT_TRUE(t.processes.calls.empty());
}

TEST(StartupTest, OnlyTheHolderOfTheLockGoesOn) {
    test::TestLauncher t;
    {
        OtherLauncher other(t.privateFolder() + "/Dravik.lock");
        // Another start holds it: refused, counted or not, as the starter or as a copy.
        EXPECT_EQ(start(t, {}), Outcome::Exit);
        EXPECT_EQ(start(t, {"TargetPath=" + t.base()}), Outcome::Exit);
        EXPECT_EQ(t.alerts.texts(), std::vector<std::string>(2, "既に起動しています"));
        EXPECT_TRUE(t.processes.calls.empty());
    }

    // Free: a second launcher still counted (a start refusing at the same moment) does not stop
    // the one that holds the lock.
    t.desktop.running = {"Dravik", "Dravik"};
    EXPECT_EQ(start(t, {}), Outcome::Exit);
    ASSERT_EQ(t.processes.calls.size(), 1u);
    // The copy is handed the held lock, and only that.
    EXPECT_EQ(t.processes.calls[0].inherited.size(), 1u);
    EXPECT_EQ(t.alerts.texts().size(), 2u);

    // An older launcher, from before the lock, runs the private copy without holding it.
    t.desktop.runningExecutables[t.privateFolder() + "/Dravik.app/Contents/MacOS/Dravik"] = {4242};
    EXPECT_EQ(start(t, {}), Outcome::Exit);
    EXPECT_EQ(t.processes.calls.size(), 1u);
    EXPECT_EQ(t.alerts.texts().back(), "既に起動しています");
}

TEST(StartupTest, TheInstallationIsRecoveredBeforeAnythingReadsIt) {
    test::TestLauncher t;
    // Killed while the release downloaded, the installation parked with its INI, and while it
    // copied the bundle into the private folder.
    fs::remove_all(t.exhibition());
    test::writeFile(t.base() + "/$Exhibition/Dravik.ini",
                    test::utf16le("msg13=ビューアが起動しています\r\n"));
    pid_t ended = ::fork();
    if (ended == 0)
        ::_exit(0);
    ::waitpid(ended, nullptr, 0);
    const std::string cut = t.privateFolder() + "/.Dravik.app.copy-" + std::to_string(ended) + "-0";
    test::writeFile(cut + "/Contents/MacOS/Dravik", "half a bundle");
    t.desktop.running = {"Kestrane"}; // refused with msg13, as the parked INI words it

    EXPECT_EQ(start(t, {"TargetPath=" + t.base()}), Outcome::Exit);
    EXPECT_EQ(t.alerts.texts(), std::vector<std::string>{"ビューアが起動しています"});
    EXPECT_TRUE(fs::exists(t.exhibition("Dravik.ini")));
    EXPECT_FALSE(fs::exists(cut));
}

TEST(StartupTest, LinksInThePrivateFolderAreNotFollowed) {
    test::TestLauncher t;
    const std::string target = t.temp / "elsewhere.txt";
    test::writeFile(target, "not the launcher's");
    fs::permissions(target, fs::perms(0644));
    for (const char* name : {"Dravik_log.txt", "Dravik.lock", "double_startup_check"})
        fs::create_symlink(target, t.privateFolder() + "/" + name);

    testing::internal::CaptureStdout();
    EXPECT_EQ(start(t, {}), Outcome::Exit);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(test::readFile(target), "not the launcher's");
    EXPECT_EQ(modeOf(target), fs::perms(0644));
    for (const char* name : {"Dravik_log.txt", "Dravik.lock"})
        EXPECT_FALSE(fs::is_symlink(t.privateFolder() + "/" + name)) << name;
    EXPECT_EQ(t.processes.calls.size(), 1u);
}

TEST(StartupTest, ThePrivateFolderIsOwnerOnlyAndNeverAnotherUsers) {
    test::TestLauncher t;
    const std::string folder = t.temp / "home/Library/Dravik";
    usePrivateFolder(t, folder);
    EXPECT_EQ(start(t, {"TargetPath=" + t.base()}), Outcome::RunApplication);
    EXPECT_EQ(modeOf(folder), fs::perms::owner_all);
    EXPECT_EQ(modeOf(folder + "/Dravik_log.txt"), fs::perms::owner_read | fs::perms::owner_write);

    fs::permissions(folder, fs::perms::group_read | fs::perms::group_exec, fs::perm_options::add);
    EXPECT_EQ(start(t, {"TargetPath=" + t.base()}), Outcome::RunApplication);
    EXPECT_EQ(modeOf(folder), fs::perms::owner_all);

    if (::geteuid() != 0)
        GTEST_SKIP() << "handing a folder to another user needs root";
    const std::string foreign = t.temp / "foreign";
    fs::create_directories(foreign);
    ASSERT_EQ(::chown(foreign.c_str(), 65534, 65534), 0);
    fs::create_directories(t.temp / "home2/Library");
    fs::create_directory_symlink(foreign, t.temp / "home2/Library/Dravik");
    usePrivateFolder(t, t.temp / "home2/Library/Dravik");
    EXPECT_EQ(start(t, {"TargetPath=" + t.base()}), Outcome::Exit);
    ASSERT_FALSE(t.alerts.texts().empty());
    EXPECT_NE(t.alerts.texts().back().find("他のユーザーのフォルダです"), std::string::npos);
    EXPECT_TRUE(fs::is_empty(foreign));
}

TEST(StartupTest, AVisitorsStartFromAPlaceThatCannotWorkIsToldHowToMoveTheFolder) {
    struct FixedPlace : BundlePlacement {
        StartPlace check(const std::string& bundlePath) override {
            checked.push_back(bundlePath);
            return place;
        }
        StartPlace place = StartPlace::Usable;
        std::vector<std::string> checked;
    };
    struct Case {
        StartPlace place;
        std::vector<std::string> arguments;
        bool goesOn;
        std::vector<std::string> says; // parts of the alert
    };
    const std::string bundle = "/Users/v/Desktop/展示会/Dravik.app";
    const Case cases[] = {
        {StartPlace::Usable, {"Dravik"}, true, {}},
        {StartPlace::Translocated, {"Dravik"}, false, {"ダウンロードした場所", "Finder"}},
        {StartPlace::ReadOnly, {"Dravik"}, false, {"/Users/v/Desktop/展示会\n", "Finder"}},
        {StartPlace::AccessRefused, {"Dravik"}, false, {"プライバシーとセキュリティ", "Finder"}},
        // The private copy runs from the private folder: its base folder is not looked at here.
        {StartPlace::Translocated, {"Dravik", "TargetPath=/base"}, true, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.place));
        test::FakeAlerts alerts;
        FixedPlace placement;
        placement.place = c.place;
        EXPECT_EQ(startPlaceIsUsable(c.arguments, bundle, placement, alerts), c.goesOn);
        EXPECT_EQ(placement.checked.size(), c.arguments.size() == 1 ? 1u : 0u);
        ASSERT_EQ(alerts.texts().size(), c.goesOn ? 0u : 1u);
        for (const std::string& part : c.says)
            EXPECT_NE(alerts.texts()[0].find(part), std::string::npos) << part;
    }
}

} // namespace
} // namespace dravik
