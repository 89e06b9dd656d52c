// A folder's stamp is written only after a barrier has put its files on the disk, and is itself
// on the disk when the run finishes.

#include "exhibition/StampCommitter.h"

#include "support/Fakes.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace dravik::test {
namespace {

namespace fs = std::filesystem;

TEST(StampCommitterTest, AStampFollowsTheBarrierOfItsFilesAndPrecedesTheLastOne) {
    TestLauncher t;
    StampCommitter stamps(*t.launcher);
    auto folder = [&](const std::string& name) {
        std::string path = t.temp / ("hall/" + name);
        writeFile(path + "/a.bin", "a");
        return StampCommitter::Folder{path, "2025-04-0" + name, {path + "/a.bin"}};
    };
    std::vector<std::string> stampedAtBarrier;
    t.diskSync.onSync = [&](const std::vector<std::string>& files) {
        for (const std::string& file : files) {
            std::string stamp = fs::path(file).parent_path() / "updated_at.json";
            if (fs::path(file).filename() != "updated_at.json" && fs::exists(stamp))
                stampedAtBarrier.push_back(stamp);
        }
    };
    int wentOn = 0;
    for (const char* name : {"1", "2", "3"})
        stamps.add(folder(name), [&] { ++wentOn; });
    bool finished = false;
    stamps.finish([&] { finished = true; });

    EXPECT_TRUE(finished);
    EXPECT_EQ(wentOn, 3);
    EXPECT_TRUE(stampedAtBarrier.empty()); // no stamp before its files' barrier
    for (const char* name : {"1", "2", "3"}) {
        std::string stamp = t.temp / ("hall/" + std::string(name) + "/updated_at.json");
        EXPECT_EQ(readFile(stamp), R"({"updated_at":"2025-04-0)" + std::string(name) + R"("})");
        bool synced = false;
        for (const auto& barrier : t.diskSync.barriers)
            synced = synced || std::find(barrier.begin(), barrier.end(), stamp) != barrier.end();
        EXPECT_TRUE(synced) << stamp;
    }
}

TEST(StampCommitterTest, FilesThatCannotBePutOnTheDiskLeaveTheirFoldersUnstamped) {
    class FailingSync : public DiskSync {
        Status syncFiles(const std::vector<std::string>&) override { return fail("I/O error"); }
    } failing;
    TestLauncher t;
    const Platform& p = *t.platform;
    Platform broken{
        p.alerts,  p.mainThread, p.workers, p.http,  p.processes, p.desktop, p.runningApplications,
        p.windows, p.fileFlags,  p.audio,   failing, p.activity,  p.bundle};
    Launcher launcher(broken, t.privateFolder(), t.base(), "https://127.0.0.1:1");
    StampCommitter stamps(launcher);
    writeFile(t.temp / "hall/1/a.bin", "a");
    bool wentOn = false, finished = false;
    stamps.add({t.temp / "hall/1", "2025", {t.temp / "hall/1/a.bin"}}, [&] { wentOn = true; });
    stamps.finish([&] { finished = true; });
    EXPECT_TRUE(wentOn && finished);
    EXPECT_FALSE(fs::exists(t.temp / "hall/1/updated_at.json"));
    EXPECT_EQ(t.logLines().back(),
              "Stamps not written: the files could not be put on the disk: I/O error");
}

} // namespace
} // namespace dravik::test
