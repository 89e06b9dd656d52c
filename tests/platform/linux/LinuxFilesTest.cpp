// The immutable flag on a real file system, the private folder's place and the bundle's versions.

#include "common/Launcher.h"
#include "support/Fakes.h"
#include "support/SystemTesting.h"
#include "system/RunningBundle.h"
#include "system/linux/LinuxBundlePlacement.h"
#include "system/linux/LinuxDiskSync.h"
#include "system/linux/LinuxFileFlags.h"
#include "update/ReleaseInstaller.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace dravik {
namespace {

namespace fs = std::filesystem;

TEST(LinuxFileFlags, ImmutableFlagOnAFileSystemThatHasIt) {
    test::TempFolder temp;
    const std::string file = temp / "locked.txt";
    test::writeFile(file, "kept");
    LinuxFileFlags flags;
    Status locked = flags.setImmutable(file, true);
    if (!locked)
        GTEST_SKIP() << "this file system or user cannot set the immutable flag: "
                     << locked.error();

    EXPECT_TRUE(flags.isImmutable(file));
    EXPECT_FALSE(std::ofstream(file, std::ios::app).is_open());
    std::error_code removeError;
    EXPECT_FALSE(fs::remove(file, removeError));
    EXPECT_TRUE(flags.setImmutable(file, false).isOk());
    EXPECT_FALSE(flags.isImmutable(file));
    EXPECT_TRUE(fs::remove(file));
    // Nothing there: no flag, and setting it says why.
    EXPECT_FALSE(flags.isImmutable(file));
    EXPECT_NE(flags.setImmutable(file, true).error(), "");
}

// Locked items (the Finder's "Locked") that a release deletes or replaces never block it nor a
// later one; a folder that cannot be made is named to the visitor.
TEST(LinuxFileFlags, LockedItemsNeverBlockAnUpdate) {
    test::TestLauncher t;
    LinuxFileFlags flags;
    Platform platform{t.alerts,   t.mainThread, t.workers,         *t.http, t.processes,
                      t.desktop,  t.desktop,    t.desktop,         flags,   t.audio,
                      t.diskSync, t.activity,   t.platform->bundle};
    Launcher launcher(platform, t.privateFolder(), t.base(), "https://127.0.0.1:1");
    auto at = [&](const std::string& relative) {
        return t.base() + "/" + relative;
    };
    test::writeFile(at("Exhibition/old/locked.bin"), "locked, in a folder the release deletes");
    test::writeFile(at("Exhibition/gone.txt"), "locked, deleted itself");
    test::writeFile(at("Exhibition/Kestrane.app/data.bin"), "locked, replaced by the release");
    const std::string extract = t.privateFolder() + "/extract";
    test::writeFile(extract + "/Release/Exhibition/Kestrane.app/data.bin", "new");
    for (const char* locked :
         {"Exhibition/old/locked.bin", "Exhibition/gone.txt", "Exhibition/Kestrane.app/data.bin"})
        if (Status set = flags.setImmutable(at(locked), true); !set)
            GTEST_SKIP() << "this file system or user cannot set the immutable flag: "
                         << set.error();
    launcher.remoteVersion = QZ_VERSION{};
    launcher.remoteVersion->delete_files = {"Exhibition/gone.txt"};
    launcher.remoteVersion->delete_folders = {"Exhibition/old"};
    launcher.remoteVersion->copy_folders = {"Exhibition/Kestrane.app"};

    for (int update = 1; update <= 2; ++update) {
        SCOPED_TRACE(update);
        EXPECT_TRUE(ReleaseInstaller(launcher).installFromExtractFolder(extract));
        EXPECT_FALSE(fs::exists(at("$DravikUpdate")));
        EXPECT_FALSE(fs::exists(at("Exhibition/old")));
        EXPECT_FALSE(fs::exists(at("Exhibition/gone.txt")));
        EXPECT_EQ(test::readFile(at("Exhibition/Kestrane.app/data.bin")), "new");
    }

    // A locked folder where the release makes a new one: the visitor is told, nothing changes.
    fs::remove_all(extract);
    test::writeFile(extract + "/Release/Exhibition/Kestrane.app/Contents/Info.plist", "new");
    ASSERT_TRUE(flags.setImmutable(at("Exhibition/Kestrane.app"), true).isOk());
    testing::internal::CaptureStdout();
    EXPECT_FALSE(ReleaseInstaller(launcher).installFromExtractFolder(extract));
    testing::internal::GetCapturedStdout();
    ASSERT_TRUE(flags.setImmutable(at("Exhibition/Kestrane.app"), false).isOk());
    ASSERT_FALSE(t.alerts.texts().empty());
    EXPECT_EQ(t.alerts.texts().back().rfind(at("Exhibition/Kestrane.app/Contents") + " - ", 0), 0u);
    EXPECT_FALSE(fs::exists(at("Exhibition/Kestrane.app/Contents")));
    EXPECT_FALSE(fs::exists(at("$DravikUpdate")));
}

TEST(LinuxDiskSync, ABarrierCoversEveryFolderAndNamesOneItCannotOpen) {
    test::TempFolder temp;
    test::writeFile(temp / "a/x.bin", "x");
    test::writeFile(temp / "b/y.bin", "y");
    LinuxDiskSync sync;
    EXPECT_TRUE(sync.syncFiles({temp / "a/x.bin", temp / "b/y.bin", temp / "a/x.bin"}).isOk());
    EXPECT_TRUE(sync.syncFiles({}).isOk());
    Status missing = sync.syncFiles({temp / "a/x.bin", temp / "gone/z.bin"});
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().rfind(temp / "gone: ", 0), 0u) << missing.error();
}

TEST(LinuxBundlePlacement, ABaseFolderThisUserCannotWriteIsReadOnly) {
    test::TempFolder temp;
    fs::create_directories(temp / "open/Dravik.app");
    fs::create_directories(temp / "closed/Dravik.app");
    fs::permissions(temp / "closed", fs::perms::owner_read | fs::perms::owner_exec);
    LinuxBundlePlacement placement;
    EXPECT_EQ(placement.check(temp / "open/Dravik.app"), StartPlace::Usable);
    EXPECT_EQ(placement.check(temp / "missing/Dravik.app"), StartPlace::ReadOnly);
    // Root writes anywhere: the folder's mode is checked as another user (whose group stays
    // root's).
    const uid_t checker = ::geteuid() == 0 ? 65534 : ::geteuid();
    if (checker == 65534) {
        fs::permissions(temp.path(), fs::perms::group_exec | fs::perms::others_exec,
                        fs::perm_options::add);
        fs::permissions(temp / "open", fs::perms::all);
    }
    test::useFileSystemUser(checker);
    StartPlace closed = placement.check(temp / "closed/Dravik.app");
    StartPlace open = placement.check(temp / "open/Dravik.app");
    test::useFileSystemUser(0);
    EXPECT_EQ(closed, StartPlace::ReadOnly);
    EXPECT_EQ(open, StartPlace::Usable);
}

TEST(LinuxRunningBundle, PrivateFolderIsInTheUsersDataFolder) {
    test::TempFolder temp;
    const char* saved = std::getenv("XDG_DATA_HOME");
    std::string previous = saved ? saved : "";
    setenv("XDG_DATA_HOME", (temp / "data").c_str(), 1);
    EXPECT_EQ(privateFolderPath(), temp / "data/Dravik");
    if (saved)
        setenv("XDG_DATA_HOME", previous.c_str(), 1);
    else
        unsetenv("XDG_DATA_HOME");
}

TEST(LinuxRunningBundle, VersionsMissingFromInfoPlistAreNamed) {
    test::TempFolder temp;
    const std::string bundle = temp / "Dravik.app";
    fs::create_directories(bundle + "/Contents");
    EXPECT_EQ(missingVersionNotes(readBundle(bundle)),
              (std::vector<std::string>{"Info.plist of " + bundle +
                                            " gives no CFBundleShortVersionString",
                                        "Info.plist of " + bundle + " gives no CFBundleVersion"}));

    test::writeFile(bundle + "/Contents/Info.plist",
                    "<dict><key>CFBundleShortVersionString</key><string>1.2.0</string></dict>");
    BundleInfo info = readBundle(bundle);
    EXPECT_EQ(info.shortVersion, "1.2.0");
    EXPECT_EQ(missingVersionNotes(info),
              (std::vector<std::string>{"Info.plist of " + bundle + " gives no CFBundleVersion"}));
}

} // namespace
} // namespace dravik
