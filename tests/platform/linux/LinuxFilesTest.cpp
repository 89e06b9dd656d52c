// The immutable flag on a real file system, the private folder's place and the bundle's versions.

#include "platform/RunningBundle.h"
#include "platform/linux/LinuxFileFlags.h"
#include "support/Fakes.h"

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
