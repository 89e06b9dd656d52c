// Every file that holds the visitor's or the viewer's data survives a write that fails: a full
// disk or a folder that cannot be written leaves the old file byte for byte.

#include "common/File.h"
#include "common/LauncherSettings.h"
#include "common/UserFile.h"
#include "common/VersionFile.h"
#include "exhibition/DownloadProgress.h"
#include "parameters/ParameterFile.h"
#include "parameters/Setting.h"
#include "reset/ResetActions.h"
#include "support/FailingDisk.h"
#include "support/Fakes.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace dravik::test {
namespace {

namespace fs = std::filesystem;

TEST(StateFilesTest, AFailedWriteLeavesEveryStateFileAsItWas) {
    // Each file holds more than the disk takes, so every rewrite of it fails.
    const std::string padding(8 * 1024, 'p');
    const std::string object = R"({"invitecode":"c","email":"e","version":"1.2.3",)"
                               R"("prevDownloadTime":[1],"viewer":")" +
                               padding + R"("})";
    // Each write fails here on purpose; the file left behind is what the case checks.
    struct Case {
        const char* file; // below Exhibition
        std::string content;
        std::function<void(Launcher&)> write;
    };
    const Case cases[] = {
        {"user.json", object,
         [](Launcher& l) {
             (void)UserFile(l).saveUser({"n", "m"});
         }},
        {"user.json", object,
         [](Launcher& l) {
             (void)UserFile(l).setLobbyDisplay(false);
         }},
        {"Dravik.json", object,
         [](Launcher& l) {
             LauncherSettings(l).writeLauncherSetting("update", "OFF");
         }},
        {"version_mac.json", object,
         [](Launcher& l) {
             VersionFile(l).resetInstalledVersion();
         }},
        {"FPSControllerParameter.json", object,
         [](Launcher& l) {
             ResetActions(l).deleteCacheData();
         }},
        {"FPSControllerParameter.json", object,
         [](Launcher& l) {
             Setting setting;
             ParameterFile(l).writeParameterFile(setting.defaultParameters(), false, setting);
         }},
        {"BackgroundData/exhibition1_hall2/updated_at.json", R"({"updated_at":"old"})",
         [](Launcher& l) {
             DownloadProgress::writeStamp(l.exhibitionPath("BackgroundData/exhibition1_hall2"),
                                          std::string(8 * 1024, 's'));
         }},
    };
    enum class Failure { FullDisk, ReadOnlyFolder };
    for (Failure failure : {Failure::FullDisk, Failure::ReadOnlyFolder}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.file) +
                         (failure == Failure::FullDisk ? " on a full disk" : " read-only"));
            TestLauncher t;
            const std::string path = t.exhibition(c.file);
            writeFile(path, c.content);
            const std::string folder = fs::path(path).parent_path();
            testing::internal::CaptureStdout();
            if (failure == Failure::FullDisk) {
                auto before = snapshotTree(t.base(), {});
                {
                    FileSizeLimit full(4 * 1024);
                    c.write(*t.launcher);
                }
                EXPECT_EQ(snapshotTree(t.base(), {}), before); // no temporary file left either
            } else {
                LockedFolder readOnly(t.temp.path(), folder);
                auto before = snapshotTree(t.base(), {});
                readOnly.run([&] { c.write(*t.launcher); });
                if (!readOnly.effective()) {
                    testing::internal::GetCapturedStdout();
                    GTEST_SKIP() << "no way to make a folder read-only here";
                }
                EXPECT_EQ(snapshotTree(t.base(), {}), before);
            }
            testing::internal::GetCapturedStdout();
            EXPECT_EQ(readFile(path), c.content);
        }
    }
}

TEST(StateFilesTest, AReplacedFileKeepsItsAccessAndItsLinkAndAFolderIsRefused) {
    TempFolder temp;
    Status written;

    writeFile(temp / "private.json", "old");
    fs::permissions(temp / "private.json", fs::perms(0640));
    ASSERT_TRUE(written = File::writeAtomically(temp / "private.json", "new")) << written.error();
    EXPECT_EQ(readFile(temp / "private.json"), "new");
    EXPECT_EQ(fs::status(temp / "private.json").permissions(), fs::perms(0640));

    // A new file gets the access any new file gets here (the umask applies).
    writeFile(temp / "plain.json", "");
    ASSERT_TRUE(written = File::writeAtomically(temp / "fresh.json", "x")) << written.error();
    EXPECT_EQ(fs::status(temp / "fresh.json").permissions(),
              fs::status(temp / "plain.json").permissions());

    // A linked file is replaced where it lies; the link stays.
    writeFile(temp / "real/user.json", "old");
    fs::create_symlink(temp / "real/user.json", temp / "link.json");
    ASSERT_TRUE(written = File::writeAtomically(temp / "link.json", "new")) << written.error();
    EXPECT_TRUE(fs::is_symlink(temp / "link.json"));
    EXPECT_EQ(readFile(temp / "real/user.json"), "new");

    // A folder where the file belongs is refused, with what is in it.
    writeFile(temp / "folder.json/inside.txt", "kept");
    auto before = snapshotTree(temp.path(), {});
    EXPECT_FALSE(written = File::writeAtomically(temp / "folder.json", "x"));
    EXPECT_EQ(written.error(), std::strerror(EISDIR));
    EXPECT_EQ(snapshotTree(temp.path(), {}), before);
}

} // namespace
} // namespace dravik::test
