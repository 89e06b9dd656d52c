#include "common/File.h"

#include "support/FailingDisk.h"
#include "support/Fakes.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>

namespace dravik {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::writeFile;

class FileTest : public ::testing::Test {
protected:
    test::TempFolder temp;
    test::FakeAlerts alerts;
    test::FakeFileFlags flags;
    test::RecordingProcesses processes;
    File file{alerts, flags, processes};
};

TEST_F(FileTest, CreateFolder) {
    EXPECT_TRUE(file.createFolder(temp / "a/b/c"));
    EXPECT_TRUE(File::isFolder(temp / "a/b/c"));
    EXPECT_TRUE(file.createFolder(temp / "a/b/c")); // existing folder: success, no alert
    EXPECT_TRUE(alerts.texts().empty());

    writeFile(temp / "plain", "x");
    EXPECT_FALSE(file.createFolder(temp / "plain/sub"));
    ASSERT_EQ(alerts.texts().size(), 1u);
    EXPECT_EQ(alerts.texts()[0].rfind(temp / "plain/sub - ", 0), 0u) << alerts.texts()[0];
}

TEST_F(FileTest, RemoveCopyAndMove) {
    // A failure carries the platform's description and prints it, as one line, on standard output.
    testing::internal::CaptureStdout();
    Status removed = file.removePath(temp / "missing");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), std::string(std::strerror(ENOENT)) + "\n");
    EXPECT_EQ(removed.error(), std::strerror(ENOENT));

    writeFile(temp / "src/one.txt", "1");
    writeFile(temp / "src/sub/two.txt", "2");
    writeFile(temp / "file.txt", "new");
    writeFile(temp / "old.txt", "old");

    EXPECT_TRUE(file.copyPath(temp / "file.txt", temp / "old.txt")); // replaces a file
    EXPECT_EQ(readFile(temp / "old.txt"), "new");

    writeFile(temp / "dst/stale.txt", "stale");
    EXPECT_TRUE(file.copyPath(temp / "src", temp / "dst")); // replaces the whole folder
    EXPECT_EQ(readFile(temp / "dst/sub/two.txt"), "2");
    EXPECT_FALSE(File::exists(temp / "dst/stale.txt"));

    EXPECT_FALSE(file.movePath(temp / "file.txt", temp / "old.txt")); // destination exists
    EXPECT_TRUE(file.movePath(temp / "file.txt", temp / "moved.txt"));
    EXPECT_FALSE(File::exists(temp / "file.txt"));

    EXPECT_TRUE(file.removePath(temp / "dst"));
    EXPECT_FALSE(File::exists(temp / "dst"));
    EXPECT_TRUE(file.listFolder(temp / "missing").empty());
}

TEST_F(FileTest, CopyFolderTreeMergesAndReplacesLockedFiles) {
    writeFile(temp / "src/common.txt", "from source");
    writeFile(temp / "src/deep/new.txt", "new");
    writeFile(temp / "dst/common.txt", "old");
    writeFile(temp / "dst/extra.txt", "kept");
    ASSERT_TRUE(flags.setImmutable(temp / "dst/common.txt", true).isOk());

    EXPECT_TRUE(file.copyFolderTree(temp / "src", temp / "dst"));
    EXPECT_EQ(readFile(temp / "dst/common.txt"), "from source");
    EXPECT_EQ(readFile(temp / "dst/deep/new.txt"), "new");
    EXPECT_EQ(readFile(temp / "dst/extra.txt"), "kept");

    EXPECT_TRUE(file.copyFolderTree(temp / "no-source", temp / "dst")); // nothing to copy
    // A destination that does not exist yet is created, with its missing parents.
    EXPECT_TRUE(file.copyFolderTree(temp / "src", temp / "absent/deeper"));
    EXPECT_EQ(readFile(temp / "absent/deeper/deep/new.txt"), "new");
}

TEST_F(FileTest, CopiesNeverReportAPartialResult) {
    testing::internal::CaptureStdout();
    // A copy that fails (a full disk) leaves the old item as it was, and nothing beside it.
    writeFile(temp / "big/huge.bin", std::string(64 * 1024, 'x'));
    writeFile(temp / "old/keep.txt", "old");
    auto before = test::snapshotTree(temp.path(), {});
    {
        test::FileSizeLimit full(16 * 1024);
        EXPECT_FALSE(file.copyPath(temp / "big", temp / "old"));
        EXPECT_FALSE(file.copyPath(temp / "big/huge.bin", temp / "old/keep.txt"));
    }
    EXPECT_EQ(test::snapshotTree(temp.path(), {}), before);

    // Missing parent folders of the destination are created.
    EXPECT_TRUE(file.copyPath(temp / "old/keep.txt", temp / "new/deep/keep.txt"));
    EXPECT_EQ(readFile(temp / "new/deep/keep.txt"), "old");

    // The same item under another name is refused and kept: through a link, a hard link, "..",
    // or a destination inside the source.
    fs::create_directory_symlink(temp / "old", temp / "alias");
    fs::create_hard_link(temp / "old/keep.txt", temp / "hard.txt");
    const std::pair<std::string, std::string> sameItems[] = {
        {temp / "old/keep.txt", temp / "alias/keep.txt"},
        {temp / "old/keep.txt", temp / "hard.txt"},
        {temp / "old/keep.txt", temp / "new/../old/keep.txt"},
        {temp / "old", temp / "alias"},
        {temp / "old", temp / "old/inner"},
    };
    for (const auto& [source, destination] : sameItems) {
        SCOPED_TRACE(destination);
        EXPECT_FALSE(file.copyPath(source, destination));
        EXPECT_FALSE(file.copyFolderTree(temp / "old", destination));
        EXPECT_EQ(readFile(temp / "old/keep.txt"), "old");
        EXPECT_FALSE(fs::exists(temp / "old/inner"));
    }

    // A sub-folder that cannot be read fails the merge.
    writeFile(temp / "src/a.txt", "a");
    writeFile(temp / "src/locked/b.txt", "b");
    writeFile(temp / "src/z/c.txt", "c");
    test::LockedFolder unreadable(temp.path(), temp / "src/locked", fs::perms::none);
    bool copied = true;
    unreadable.run([&] { copied = file.copyFolderTree(temp / "src", temp / "merged").isOk(); });
    testing::internal::GetCapturedStdout();
    if (!unreadable.effective())
        GTEST_SKIP() << "no way to make a folder unreadable here";
    EXPECT_FALSE(copied);
}

TEST_F(FileTest, DeleteArchivesByExtension) {
    for (const char* name : {"A.ZIP", "b.7z", "c.zip.txt", "zip", "d.Zip"})
        writeFile(temp / (std::string("folder/") + name), "x");
    file.deleteArchives(temp / "folder");
    auto names = file.listFolder(temp / "folder");
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"c.zip.txt", "zip"}));
}

TEST_F(FileTest, AttributesAndExecutable) {
    FileAttributes missing = file.readFileAttributes(temp / "missing");
    EXPECT_EQ(missing.mSize, 0u);
    EXPECT_EQ(missing.mLastModified.time_since_epoch().count(), 0);

    writeFile(temp / "five", "12345");
    FileAttributes five = file.readFileAttributes(temp / "five");
    EXPECT_EQ(five.mSize, 5u);
    auto age = std::chrono::system_clock::now() - five.mLastModified;
    EXPECT_LT(std::chrono::duration_cast<std::chrono::hours>(age).count(), 1);

    // The program is started with an argument vector: quotes and dollars reach chmod unchanged.
    std::string odd = temp / "a \"b\" $HOME `x`";
    writeFile(odd, "#!/bin/sh\n");
    EXPECT_TRUE(file.makeExecutable(odd));
    EXPECT_TRUE((fs::status(odd).permissions() & fs::perms::owner_exec) != fs::perms::none);
    EXPECT_TRUE(file.makeExecutable(temp / "missing")); // chmod ran and failed
}

} // namespace
} // namespace dravik
