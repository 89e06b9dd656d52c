// The update is all or nothing: a failure or an interruption at any step leaves the installation
// as it was before, and an interrupted update is recovered at the next start.

#include "update/InstallTransaction.h"

#include "ArchiveMaker.h"
#include "support/FailingDisk.h"
#include "update/ParkedExhibition.h"
#include "update/ReleaseInstaller.h"
#include "update/UpdateTransfer.h"

#include <filesystem>
#include <functional>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <iostream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace dravik::test {
namespace {

namespace fs = std::filesystem;
using ::testing::Contains;
using ::testing::StartsWith;

class InstallTransactionTest : public ::testing::Test {
protected:
    void SetUp() override {
        installExtractor(t);
        // The installation as the visitor has it.
        writeFile(base("Dravik.app/Contents/MacOS/Dravik"), "old launcher");
        writeFile(base("Exhibition/Kestrane.app/Contents/MacOS/Kestrane"), "old viewer");
        writeFile(base("Exhibition/Kestrane.app/Contents/Resources/old.dat"), "old data");
        writeFile(base("Exhibition/Dravik.ini"), "old ini");
        writeFile(base("Exhibition/user.json"), R"({"invitecode":"c"})");
        writeFile(base("Exhibition/old/booth.bin"), "old booth");
        writeFile(base("old.txt"), "old");
        writeFile(base("blocker"), "a file where the release wants a folder");
        // The release, as it comes out of its archive.
        writeFile(unpacked("Dravik.app/Contents/MacOS/Dravik"), "new launcher");
        writeFile(unpacked("Exhibition/Kestrane.app/Contents/MacOS/Kestrane"), "new viewer");
        writeFile(unpacked("Exhibition/Kestrane.app/Contents/Resources/new.dat"),
                  std::string(64 * 1024, 'n'));
        writeFile(unpacked("Exhibition/Dravik.ini"), "new ini");
        writeFile(unpacked("blocker/inside.txt"), "x");
        unpack();
        t.launcher->remoteVersion = QZ_VERSION{};
        remote().version = "2.0.0";
        remote().delete_files = {"old.txt"};
        remote().delete_folders = {"Exhibition/old/"};
        remote().copy_files = {"Exhibition/Dravik.ini"};
        remote().copy_folders = {"Dravik.app", "Exhibition/Kestrane.app"};
    }

    QZ_VERSION& remote() { return *t.launcher->remoteVersion; }
    std::string base(const std::string& relative) const { return t.base() + "/" + relative; }
    std::string extract() const { return t.privateFolder() + "/extract"; }
    std::string unpacked(const std::string& relative) const {
        return t.temp / ("release/Release/" + relative);
    }
    std::string release(const std::string& relative) const {
        return extract() + "/Release/" + relative;
    }
    // Puts the release into the extract folder, as the extractor would.
    void unpack() {
        fs::remove_all(extract());
        fs::create_directories(extract());
        fs::copy(t.temp / "release", extract(), fs::copy_options::recursive);
    }
    std::map<std::string, std::string> installation() const { return snapshotTree(t.base(), {}); }
    bool install() { return ReleaseInstaller(*t.launcher).installFromExtractFolder(extract()); }

    TestLauncher t;
};

TEST_F(InstallTransactionTest, AFailureAtAnyStepLeavesTheInstallationAsItWas) {
    struct Case {
        const char* step;
        std::function<std::string()> fail; // the text the visitor sees
    };
    const Case cases[] = {
        {"download cut",
         [&] {
             UpdateTransfer::parkExhibitionFolder(*t.launcher);
             return UpdateTransfer::completed(*t.launcher, "connection reset", false,
                                              t.privateFolder() + "/r.zip")
                 .text;
         }},
        {"a copy fails half-way",
         [&] {
             remote().copy_files->push_back("blocker/inside.txt");
             bool installed = install();
             remote().copy_files->pop_back();
             return installed ? "" : t.launcher->ini.message("msg33");
         }},
        {"a name that would be journalled wrongly",
         [&] {
             const std::string odd = release("Exhibition/Kestrane.app/Contents/\xff.dat");
             writeFile(odd, "not UTF-8");
             bool installed = install();
             fs::remove(odd);
             return installed ? "" : t.launcher->ini.message("msg33");
         }},
        {"disk full",
         [&] {
             FileSizeLimit full(16 * 1024);
             return install() ? "" : t.launcher->ini.message("msg33");
         }},
        {"extraction fails",
         [&] {
             writeFile(t.privateFolder() + "/r.zip", "<html>500</html>");
             return ReleaseInstaller(*t.launcher)
                 .installRelease(t.privateFolder() + "/r.zip")
                 .failureText;
         }},
    };
    const auto before = installation();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.step);
        testing::internal::CaptureStdout();
        std::string seen = c.fail();
        testing::internal::GetCapturedStdout();
        EXPECT_THAT(seen, ::testing::AnyOf("ダウンロードに失敗しました", "更新に失敗しました"));
        EXPECT_EQ(installation(), before);
        EXPECT_EQ(readFile(base("Exhibition/Kestrane.app/Contents/MacOS/Kestrane")), "old viewer");
    }
    // The same release installs when nothing is in its way.
    unpack();
    ASSERT_TRUE(install());
    EXPECT_EQ(readFile(base("Exhibition/Dravik.ini")), "new ini");
    EXPECT_EQ(readFile(base("Exhibition/Kestrane.app/Contents/Resources/old.dat")), "old data");
    EXPECT_FALSE(fs::exists(base("old.txt")));
    EXPECT_FALSE(fs::exists(base(InstallTransaction::kFolderName)));
}

// Every item below root with its kind, permission bits and bytes (a link: its target), by path.
std::map<std::string, std::string> contentsOf(const std::string& root) {
    std::map<std::string, std::string> items;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
         ++it) {
        const fs::path& path = it->path();
        auto status = it->symlink_status();
        std::string mode = std::to_string(static_cast<int>(status.permissions()));
        items[path.lexically_relative(root).string()] =
            fs::is_symlink(status)     ? "link " + fs::read_symlink(path).string()
            : fs::is_directory(status) ? "folder " + mode
                                       : "file " + mode + " " + readFile(path.string());
    }
    return items;
}

// Runs work in a child process that ends where work stops; the parent waits for it.
void inChild(const std::function<void()>& work) {
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        work();
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
}

TEST_F(InstallTransactionTest, AnInstallationKilledAtAnyStepIsUndoneEvenWhenItsUndoingIsKilledToo) {
    // Each step as the installer takes it; a kill can come after any of them.
    std::vector<std::string> staged;
    const std::vector<std::function<void(InstallTransaction&)>> steps = {
        [](InstallTransaction& tx) { (void)tx.begin(); },
        [&](InstallTransaction& tx) {
            staged.push_back(*tx.stage(release("Exhibition/Dravik.ini")));
        },
        [&](InstallTransaction& tx) {
            staged.push_back(*tx.stage(release("Exhibition/Kestrane.app")));
        },
        [&](InstallTransaction& tx) {
            staged.push_back(*tx.stage(release("Exhibition/Dravik.ini")));
        },
        [](InstallTransaction& tx) { (void)tx.remove("old.txt"); },
        [](InstallTransaction& tx) { (void)tx.remove("Exhibition/old"); },
        [&](InstallTransaction& tx) { (void)tx.replace("Exhibition/Dravik.ini", staged[0]); },
        [&](InstallTransaction& tx) { (void)tx.merge("Exhibition/Kestrane.app", staged[1]); },
        [&](InstallTransaction& tx) { (void)tx.replace("Exhibition/old/Dravik.ini", staged[2]); },
        [](InstallTransaction& tx) { (void)tx.remove("Exhibition/old"); },
    };
    // Exhibition on the same file system as the transaction's folder, then on another one (a
    // link to an external disk), where every move is a copy and a removal.
    const std::string elsewhere = "/dev/shm/dravik-install-" + std::to_string(getpid());
    for (bool otherFileSystem : {false, true}) {
        SCOPED_TRACE(otherFileSystem ? "Exhibition on another file system" : "one file system");
        if (otherFileSystem) {
            std::error_code error;
            fs::create_directories(elsewhere, error);
            struct stat shm {
            }, own{};
            if (error || stat(elsewhere.c_str(), &shm) != 0 || stat(t.base().c_str(), &own) != 0 ||
                shm.st_dev == own.st_dev) {
                std::cout << "[ SKIPPED  ] no other file system at /dev/shm\n";
                break;
            }
            fs::copy(base("Exhibition"), elsewhere + "/Exhibition", fs::copy_options::recursive);
            fs::remove_all(base("Exhibition"));
            fs::create_directory_symlink(elsewhere + "/Exhibition", base("Exhibition"));
        }
        auto installation = [&] {
            auto items = contentsOf(t.base());
            if (otherFileSystem)
                for (auto& [path, item] : contentsOf(elsewhere))
                    items["elsewhere/" + path] = item;
            return items;
        };
        const auto before = installation();
        for (size_t done = 1; done <= steps.size(); ++done) {
            // Then the undoing is killed before its first change on the disk, its second, ...,
            // twice at the same count (a second start killed as early), until one runs through.
            bool undoneWithoutKill = false;
            for (int killAt = 1; !undoneWithoutKill; ++killAt) {
                SCOPED_TRACE("killed after step " + std::to_string(done) +
                             ", its undoing before change " + std::to_string(killAt));
                inChild([&] {
                    staged.clear();
                    InstallTransaction transaction(*t.launcher);
                    for (size_t step = 0; step < done; ++step)
                        steps[step](transaction);
                    _exit(0); // killed: nothing after this point runs
                });
                ASSERT_TRUE(fs::exists(base(InstallTransaction::kFolderName)));
                for (int undo = 0; undo < 2; ++undo)
                    inChild([&] {
                        int changes = 0;
                        InstallTransaction::recover(*t.launcher, [&] {
                            if (++changes == killAt)
                                _exit(0);
                        });
                    });
                undoneWithoutKill = !fs::exists(base(InstallTransaction::kFolderName));

                InstallTransaction::recover(*t.launcher);
                ASSERT_EQ(installation(), before);
                EXPECT_FALSE(fs::exists(base(InstallTransaction::kFolderName)));
            }
        }
    }
    std::error_code ignored;
    fs::remove_all(elsewhere, ignored);
}

TEST_F(InstallTransactionTest, AParkedExhibitionFolderComesBackLosingNothing) {
    const std::string parked = ParkedExhibition(*t.launcher).parkedPath();
    // Killed while the release downloaded, and nothing made a new Exhibition since.
    fs::rename(base("Exhibition"), parked);
    ParkedExhibition(*t.launcher).restore();
    EXPECT_FALSE(fs::exists(parked));
    EXPECT_EQ(readFile(base("Exhibition/Dravik.ini")), "old ini");
    EXPECT_EQ(t.logLines().back(), "Exhibition recovery: moved $Exhibition back to Exhibition");

    // A start meanwhile made a new Exhibition with the visitor's newest input.
    fs::rename(base("Exhibition"), parked);
    fs::remove(parked + "/user.json");
    writeFile(base("Exhibition/user.json"), R"({"invitecode":"new"})");
    writeFile(base("Exhibition/Dravik.ini"), "newer ini");
    writeFile(base("Exhibition/old/other.bin"), "newer booth");
    ParkedExhibition(*t.launcher).restore();
    EXPECT_FALSE(fs::exists(parked));
    EXPECT_EQ(readFile(base("Exhibition/Kestrane.app/Contents/MacOS/Kestrane")), "old viewer");
    EXPECT_EQ(readFile(base("Exhibition/Dravik.ini")), "old ini");
    EXPECT_EQ(readFile(base("Exhibition/user.json")), R"({"invitecode":"new"})");
    EXPECT_EQ(readFile(base("Exhibition/old/other.bin")), "newer booth");
    std::vector<std::string> aside;
    for (const auto& entry : fs::directory_iterator(t.base()))
        if (entry.path().filename().string().rfind("Exhibition-set-aside-", 0) == 0)
            aside.push_back(entry.path());
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(readFile(aside[0] + "/Dravik.ini"), "newer ini");
    EXPECT_THAT(t.logLines(), Contains(StartsWith("Exhibition recovery: both Exhibition and "
                                                  "$Exhibition were there; kept $Exhibition")));
}

} // namespace
} // namespace dravik::test
