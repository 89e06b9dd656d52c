#include "update/ReleaseInstaller.h"

#include "ArchiveMaker.h"

#include <gtest/gtest.h>

namespace dravik::test {
namespace {

namespace fs = std::filesystem;

class ReleaseInstallerTest : public ::testing::Test {
protected:
    void SetUp() override {
        installExtractor(t);
        t.launcher->remoteVersion = QZ_VERSION{};
        t.launcher->remoteVersion->version = "2.0.0";
        t.launcher->closeBlocked = true;
    }

    QZ_VERSION& remote() { return *t.launcher->remoteVersion; }
    std::string base(const std::string& relative) const { return t.base() + "/" + relative; }
    std::string archive() const { return t.privateFolder() + "/release.zip"; }

    // Stages <stage>/Release with the given files and archives that folder alone.
    void makeRelease(const std::vector<std::pair<std::string, std::string>>& files) {
        for (const auto& [path, body] : files)
            writeFile(t.temp / "stage/Release/" + path, body);
        fs::create_directories(t.temp / "stage/Release");
        ASSERT_TRUE(makeArchive(archive(), {t.temp / "stage/Release"}));
    }

    void lock(const std::string& path) {
        Status locked = t.fileFlags.setImmutable(path, true);
        ASSERT_TRUE(locked) << locked.error();
    }

    bool ranChmodOn(const std::string& path) const {
        for (const auto& call : t.processes.calls)
            if (call.program == "chmod" && call.args == std::vector<std::string>{"+x", path})
                return true;
        return false;
    }

    InstallResult install() { return ReleaseInstaller(*t.launcher).installRelease(archive()); }

    TestLauncher t;
};

TEST_F(ReleaseInstallerTest, AppliesTheListsAndCleansUp) {
    const std::string viewer = "Exhibition/Kestrane.app/Contents/MacOS/Kestrane";
    const std::string launcherExe = "Dravik.app/Contents/MacOS/Dravik";
    makeRelease({{"Exhibition/Dravik.ini", "new ini"},
                 {launcherExe, "new launcher"},
                 {viewer, "new viewer"},
                 {"Exhibition/Kestrane.app/Contents/Resources/data", "new data"},
                 {"unlisted.txt", "not copied"}});
    writeFile(base("old.txt"), "old");
    writeFile(base("Exhibition/old/booth.bin"), "old");
    writeFile(base("Exhibition/Dravik.ini"), "old ini");
    writeFile(base(launcherExe), "old launcher");
    writeFile(base("Dravik.app/extra.txt"), "kept");
    writeFile(base(viewer), "old viewer");
    lock(base("Exhibition/Dravik.ini"));
    lock(base(viewer));
    writeFile(t.privateFolder() + "/stale.7z", "x");
    writeFile(t.privateFolder() + "/keep.txt", "x");
    remote().delete_files = {"old.txt", "missing.txt"};
    remote().delete_folders = {"Exhibition/old", "Exhibition/missing"};
    remote().copy_files = {"Exhibition/Dravik.ini", "not-in-release.txt"};
    // A file listed as a folder is skipped like a name the release lacks.
    remote().copy_folders = {"Dravik.app/", "Exhibition/Kestrane.app", "NotInRelease",
                             "unlisted.txt"};

    InstallResult result = install();

    EXPECT_EQ(result.outcome, InstallOutcome::Installed);
    EXPECT_FALSE(fs::exists(base("old.txt")));
    EXPECT_FALSE(fs::exists(base("Exhibition/old")));
    EXPECT_EQ(readFile(base("Exhibition/Dravik.ini")), "new ini");
    EXPECT_EQ(readFile(base(launcherExe)), "new launcher");
    EXPECT_EQ(readFile(base("Dravik.app/extra.txt")), "kept");
    EXPECT_EQ(readFile(base(viewer)), "new viewer");
    EXPECT_EQ(readFile(base("Exhibition/Kestrane.app/Contents/Resources/data")), "new data");
    EXPECT_FALSE(fs::exists(base("unlisted.txt")));
    EXPECT_FALSE(fs::exists(base("not-in-release.txt")));
    EXPECT_FALSE(fs::exists(base("NotInRelease")));
    EXPECT_FALSE(t.fileFlags.isImmutable(base("Exhibition/Dravik.ini")));
    EXPECT_FALSE(t.fileFlags.isImmutable(base(viewer)));
    EXPECT_TRUE(ranChmodOn(base(viewer)));
    EXPECT_TRUE(ranChmodOn(base(launcherExe)));
    EXPECT_NE(fs::status(base(viewer)).permissions() & fs::perms::owner_exec, fs::perms::none);

    EXPECT_FALSE(fs::exists(t.privateFolder() + "/extract"));
    EXPECT_FALSE(fs::exists(archive()));
    EXPECT_FALSE(fs::exists(t.privateFolder() + "/stale.7z"));
    EXPECT_TRUE(fs::exists(t.privateFolder() + "/keep.txt"));
    EXPECT_FALSE(t.launcher->closeBlocked);
}

TEST_F(ReleaseInstallerTest, UnsafeNamesFailBeforeAnythingIsDeleted) {
    struct Case {
        std::optional<std::vector<std::string>> QZ_VERSION::*list;
        std::string name;
    };
    const std::string absoluteOutside = t.temp / "outside";
    const Case cases[] = {
        {&QZ_VERSION::delete_files, "../outside"},
        {&QZ_VERSION::delete_folders, absoluteOutside},
        {&QZ_VERSION::delete_folders, "/etc"},
        {&QZ_VERSION::copy_files, ""},
        {&QZ_VERSION::copy_folders, "Exhibition/../../outside"},
        {&QZ_VERSION::copy_folders, "."},
        {&QZ_VERSION::delete_folders, "$dravikupdate/journal"}, // the Mac ignores letter case
    };
    makeRelease({{"outside", "from the release"}});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(fs::exists(archive()) || makeArchive(archive(), {t.temp / "stage/Release"}));
        writeFile(t.temp / "outside", "outside");
        writeFile(base("old.txt"), "old");
        remote() = QZ_VERSION{};
        remote().delete_files = {"old.txt"};
        auto& list = remote().*c.list;
        if (!list)
            list.emplace();
        list->push_back(c.name);

        InstallResult result = install();

        EXPECT_EQ(result.outcome, InstallOutcome::Failed);
        EXPECT_EQ(result.failureText, "更新に失敗しました");
        EXPECT_TRUE(fs::exists(base("old.txt")));
        EXPECT_EQ(readFile(t.temp / "outside"), "outside");
        ASSERT_FALSE(t.logLines().empty());
        EXPECT_NE(t.logLines().back().find("refused name"), std::string::npos);
        EXPECT_FALSE(fs::exists(archive())); // cleaned up like every attempt
    }
}

TEST_F(ReleaseInstallerTest, InstallsNothingUnlessTheReleaseHasOneTopLevelFolder) {
    writeFile(t.temp / "stage/Release/a.txt", "A");
    writeFile(t.temp / "stage/Other/b.txt", "B");
    writeFile(t.temp / "stage/loose.txt", "L");
    const std::vector<std::vector<std::string>> layouts = {
        {t.temp / "stage/Release", t.temp / "stage/Other"},
        {t.temp / "stage/Release", t.temp / "stage/loose.txt"},
    };
    for (const auto& layout : layouts) {
        SCOPED_TRACE(layout.back());
        ASSERT_TRUE(makeArchive(archive(), layout));
        writeFile(base("old.txt"), "old");
        remote().delete_files = {"old.txt"};
        remote().copy_files = {"a.txt"};

        EXPECT_EQ(install().outcome, InstallOutcome::Failed);
        EXPECT_TRUE(fs::exists(base("old.txt")));
        EXPECT_FALSE(fs::exists(base("a.txt")));
    }
}

TEST_F(ReleaseInstallerTest, FailedAttemptsRemoveOnlyWhatIsTheirs) {
    // An error page saved in the archive's place is removed with the extract folder; a path
    // outside the private folder is never touched.
    for (const std::string& path : {archive(), base("release.zip")}) {
        SCOPED_TRACE(path);
        writeFile(path, "<html>500</html>");
        writeFile(base("old.txt"), "old");
        remote().delete_files = {"old.txt"};
        t.launcher->closeBlocked = true;

        EXPECT_EQ(ReleaseInstaller(*t.launcher).installRelease(path).outcome,
                  InstallOutcome::Failed);
        EXPECT_TRUE(fs::exists(base("old.txt")));
        EXPECT_EQ(fs::exists(path), path != archive());
        EXPECT_FALSE(fs::exists(t.privateFolder() + "/extract"));
        EXPECT_FALSE(t.launcher->closeBlocked);
    }
}

TEST_F(ReleaseInstallerTest, ProgramsThatCannotBeMadeExecutableUndoTheInstallation) {
    makeRelease({{"Exhibition/Dravik.ini", "new ini"}});
    writeFile(base("Exhibition/Dravik.ini"), "old ini");
    remote().copy_files = {"Exhibition/Dravik.ini"};
    t.processes.unstartable = "chmod";

    EXPECT_EQ(install().outcome, InstallOutcome::Failed);
    EXPECT_EQ(readFile(base("Exhibition/Dravik.ini")), "old ini");
}

TEST_F(ReleaseInstallerTest, ACloseRequestedMeanwhileWinsAndTheResultReachesTheMainThread) {
    makeRelease({{"a.txt", "A"}});
    remote().copy_files = {"a.txt"};
    t.launcher->closeRequested = true;
    std::optional<InstallResult> posted;

    ReleaseInstaller(*t.launcher).start(archive(), [&](const InstallResult& r) { posted = r; });

    ASSERT_TRUE(posted);
    EXPECT_EQ(posted->outcome, InstallOutcome::CloseRequested);
    EXPECT_EQ(readFile(base("a.txt")), "A");
    EXPECT_FALSE(t.launcher->closeBlocked);
}

} // namespace
} // namespace dravik::test
