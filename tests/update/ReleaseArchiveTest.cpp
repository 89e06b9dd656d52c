#include "update/ReleaseArchive.h"

#include "support/Fakes.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace dravik::test {
namespace {

TEST(ReleaseArchiveTest, ArchivePathIsTheDecodedLastComponentInsideThePrivateFolder) {
    struct Case {
        const char* url;
        const char* name; // nullptr: refused
    };
    const Case cases[] = {
        {"https://host/releases/Release_2.0.zip", "Release_2.0.zip"},
        {"https://host/releases/Release%202%E7%89%88.zip?sig=a/b#top", "Release 2版.zip"},
        {"https://host/releases/latest/", "latest"},
        {"HTTP://host:8443/a%24b%60c.7z", "a$b`c.7z"},
        {"https://host/a/..%2F..%2Fescape.zip", nullptr},
        {"https://host/%2Fetc%2Fpasswd", nullptr},
        {"https://host/a/%2E%2E", nullptr},
        {"https://host/", nullptr},
        {"https://host/broken%2.zip", nullptr},
        {"releases/Release.zip", nullptr},
        {"https://host/Dravik.app", nullptr},
        {"https://host/EXTRACT", nullptr},
        {"https://host/dravik.LOCK", nullptr},
    };
    TestLauncher t;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        Expected<std::string> path = ReleaseArchive::pathFor(*t.launcher, c.url);
        if (!c.name) {
            EXPECT_FALSE(path);
            continue;
        }
        ASSERT_TRUE(path) << path.error();
        EXPECT_EQ(*path, t.privateFolder() + "/" + c.name);
        EXPECT_TRUE(ReleaseArchive::checkPath(*t.launcher, *path));
    }
    EXPECT_FALSE(ReleaseArchive::checkPath(*t.launcher, t.base() + "/r.zip"));
    EXPECT_FALSE(ReleaseArchive::checkPath(*t.launcher, t.privateFolder() + "/sub/r.zip"));
}

TEST(ReleaseArchiveTest, StoreReplacesAnOldArchiveAndRefusesForeignPaths) {
    TestLauncher t;
    const std::string archive = t.privateFolder() + "/r.zip";
    writeFile(archive, "old");
    writeFile(t.temp / "download.tmp", "new");

    EXPECT_TRUE(ReleaseArchive::store(*t.launcher, t.temp / "download.tmp", archive));
    EXPECT_EQ(readFile(archive), "new");
    EXPECT_FALSE(std::filesystem::exists(t.temp / "download.tmp"));

    writeFile(t.temp / "download.tmp", "new");
    writeFile(t.base() + "/r.zip", "keep");
    EXPECT_FALSE(ReleaseArchive::store(*t.launcher, t.temp / "download.tmp", t.base() + "/r.zip"));
    EXPECT_EQ(readFile(t.base() + "/r.zip"), "keep");
}

} // namespace
} // namespace dravik::test
