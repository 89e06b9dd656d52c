#include "update/ArchiveExtractor.h"

#include "ArchiveMaker.h"

#include <gtest/gtest.h>

namespace dravik::test {
namespace {

TEST(ArchiveExtractorTest, PathsWithShellCharactersReachTheExtractorUnchanged) {
    const std::vector<std::string> names = {"with blank", "double\"quote", "dollar$HOME",
                                            "back`tick`", "back\\slash",   "star*"};
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        TestLauncher t;
        installExtractor(t);
        writeFile(t.temp / "stage/Release/a.txt", "A");
        const std::string folder = t.temp / name;
        std::filesystem::create_directories(folder);
        const std::string archive = folder + "/" + name + ".zip";
        ASSERT_TRUE(makeArchive(archive, {t.temp / "stage/Release"}));
        // A missing destination is created; an existing one has its files overwritten.
        const bool existing = name.find('$') != std::string::npos;
        const std::string destination = folder + "/out " + name;
        if (existing) {
            writeFile(destination + "/Release/a.txt", "old");
            writeFile(destination + "/extra.txt", "kept");
        }

        EXPECT_TRUE(ArchiveExtractor::extractArchive(*t.launcher, archive, destination));

        EXPECT_EQ(readFile(destination + "/Release/a.txt"), "A");
        EXPECT_EQ(std::filesystem::exists(destination + "/extra.txt"), existing);
        ASSERT_FALSE(t.processes.calls.empty());
        const auto& call = t.processes.calls.back();
        EXPECT_EQ(call.program, ArchiveExtractor::extractorPath(*t.launcher));
        // The extractor runs inside the destination: its "*" is never read as a placeholder.
        EXPECT_EQ(call.args, (std::vector<std::string>{"x", "-y", "-spd", "-o.", archive}));
        EXPECT_EQ(call.workingFolder, destination);
    }
}

TEST(ArchiveExtractorTest, FailuresAreFalseAndSilent) {
    struct Case {
        const char* what;
        bool extractorInstalled;
        const char* archiveBody; // nullptr: no archive file at all
    };
    const Case cases[] = {
        {"an error page saved as the archive", true, "<html>404 Not Found</html>"},
        {"a missing archive", true, nullptr},
        {"no extractor in the bundle", false, "PK"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestLauncher t;
        if (c.extractorInstalled)
            installExtractor(t);
        if (c.archiveBody)
            writeFile(t.privateFolder() + "/release.zip", c.archiveBody);

        EXPECT_FALSE(ArchiveExtractor::extractArchive(
            *t.launcher, t.privateFolder() + "/release.zip", t.privateFolder() + "/extract"));
        EXPECT_TRUE(t.logLines().empty());
        EXPECT_TRUE(t.alerts.texts().empty());
    }
}

} // namespace
} // namespace dravik::test
