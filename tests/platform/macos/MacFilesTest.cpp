// The Mac's file services on the runner's own disk: the locked flag, cloned copies, where a start
// can work from, and the versions the running program's Info.plist gives.

#include "support/Fakes.h"
#include "system/RunningBundle.h"
#include "system/macos/MacBundlePlacement.h"
#include "system/macos/MacFileFlags.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace dravik {
namespace {

namespace fs = std::filesystem;

TEST(MacFileFlags, TheLockedFlagKeepsAFileAsItIsUntilCleared) {
    test::TempFolder temp;
    const std::string file = temp / "locked.txt";
    test::writeFile(file, "kept");
    MacFileFlags flags;
    ASSERT_TRUE(flags.setImmutable(file, true).isOk());
    EXPECT_TRUE(flags.isImmutable(file));
    EXPECT_FALSE(std::ofstream(file, std::ios::app).is_open());
    std::error_code removeError;
    EXPECT_FALSE(fs::remove(file, removeError));
    EXPECT_TRUE(flags.setImmutable(file, false).isOk());
    EXPECT_FALSE(flags.isImmutable(file));
    EXPECT_TRUE(fs::remove(file));
    EXPECT_NE(flags.setImmutable(file, true).error(), "");
}

TEST(MacFileFlags, ACopiedTreeKeepsItsLinksModesAndBytes) {
    test::TempFolder temp;
    const std::string source = temp / "Dravik.app";
    test::writeFile(source + "/Contents/MacOS/Dravik", std::string(1 << 20, 'x'));
    fs::permissions(source + "/Contents/MacOS/Dravik", fs::perms::owner_all);
    fs::create_directory_symlink("MacOS", source + "/Contents/Current");
    MacFileFlags flags;
    ASSERT_TRUE(flags.copyTree(source, temp / "copy.app").isOk());
    EXPECT_EQ(test::readFile(temp / "copy.app/Contents/MacOS/Dravik"), std::string(1 << 20, 'x'));
    EXPECT_EQ(fs::status(temp / "copy.app/Contents/MacOS/Dravik").permissions() & fs::perms::all,
              fs::perms::owner_all);
    EXPECT_EQ(fs::read_symlink(temp / "copy.app/Contents/Current").string(), "MacOS");
    // Changing the copy leaves the source as it was (a clone shares blocks until written).
    test::writeFile(temp / "copy.app/Contents/MacOS/Dravik", "changed");
    EXPECT_EQ(fs::file_size(source + "/Contents/MacOS/Dravik"), 1u << 20);
    EXPECT_NE(flags.copyTree(temp / "missing", temp / "other").error(), "");
}

TEST(MacBundlePlacement, OnlyAWritableRealFolderIsUsable) {
    test::TempFolder temp;
    fs::create_directories(temp / "open/Dravik.app");
    fs::create_directories(temp / "closed/Dravik.app");
    fs::permissions(temp / "closed", fs::perms::owner_read | fs::perms::owner_exec);
    MacBundlePlacement placement;
    EXPECT_EQ(placement.check(temp / "open/Dravik.app"), StartPlace::Usable);
    EXPECT_EQ(placement.check(temp / "closed/Dravik.app"), StartPlace::ReadOnly);
    EXPECT_EQ(placement.check(temp / "missing/Dravik.app"), StartPlace::ReadOnly);
    EXPECT_EQ(placement.check("/private/var/folders/x/AppTranslocation/ABC/d/Dravik.app"),
              StartPlace::Translocated);
    // The system volume is read-only.
    EXPECT_EQ(placement.check("/System/Applications/Dravik.app"), StartPlace::ReadOnly);
}

TEST(MacRunningBundle, VersionsComeFromTheRunningProgramsInfoPlist) {
    // This program carries an Info.plist in its __TEXT,__info_plist section.
    BundleInfo info = locateRunningBundle();
    EXPECT_EQ(info.shortVersion, "9.8.7");
    EXPECT_EQ(info.buildVersion, "65");
    EXPECT_TRUE(missingVersionNotes(info).empty());
    const std::string folder = privateFolderPath();
    EXPECT_EQ(folder.substr(folder.size() - 15), "/Library/Dravik");
}

} // namespace
} // namespace dravik
