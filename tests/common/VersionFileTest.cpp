#include "common/VersionFile.h"

#include "support/StateFileTest.h"

#include <filesystem>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace dravik::test {
namespace {

namespace fs = std::filesystem;
using ::testing::StartsWith;

class VersionFileTest : public StateFileTest {
protected:
    VersionFileTest() : StateFileTest("version_mac.json") {}
    std::string installed() const { return file(); }
    std::string builtIn() const { return t.resources() + "/version_mac.json"; }
    VersionFile versions() { return VersionFile(*t.launcher); }
};

TEST_F(VersionFileTest, LoadsTheInstalledRecordElseTheBuiltInOne) {
    writeFile(builtIn(), R"({"version": "-.-.-.-"})");
    auto version = versions().loadLocalVersion();
    ASSERT_TRUE(version.has_value());
    EXPECT_EQ(version->version, "-.-.-.-");

    writeFile(installed(), R"({"version": "1.2.3", "file_url": "https://cdn.test/r/K.zip"})");
    version = versions().loadLocalVersion();
    ASSERT_TRUE(version.has_value());
    EXPECT_EQ(version->version, "1.2.3");
    EXPECT_EQ(version->file_url, std::optional<std::string>("https://cdn.test/r/K.zip"));
    EXPECT_TRUE(t.alerts.texts().empty());
}

TEST_F(VersionFileTest, LoadFailuresAreReported) {
    const std::string prefix = "<ローカルのバージョン読込み>";
    struct Case {
        std::optional<std::string> installedContent;
        std::optional<std::string> builtInContent;
        std::string report; // the start of the text
    };
    const std::vector<Case> cases = {
        {std::nullopt, std::nullopt, prefix + "No such file or directory"},
        {std::nullopt, R"({"version": 1})", prefix + "version: expected a string"},
        // A broken installed record is not replaced by the built-in one.
        {R"({"version": "1.0)", R"({"version": "-.-.-.-"})", prefix + "not JSON: "},
        {R"({"file_url": "u"})", R"({"version": "-.-.-.-"})",
         prefix + "version: required member is missing"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.report);
        fs::remove(installed());
        fs::remove(builtIn());
        if (c.installedContent)
            writeFile(installed(), *c.installedContent);
        if (c.builtInContent)
            writeFile(builtIn(), *c.builtInContent);
        size_t alerts = t.alerts.texts().size();
        EXPECT_FALSE(versions().loadLocalVersion().has_value());
        ASSERT_EQ(t.alerts.texts().size(), alerts + 1);
        EXPECT_THAT(t.alerts.texts().back(), StartsWith(c.report));
        EXPECT_EQ(t.logLines().back(), t.alerts.texts().back());
    }
}

TEST_F(VersionFileTest, ResetInstalledVersion) {
    versions().resetInstalledVersion(); // nothing installed: nothing written
    EXPECT_FALSE(fs::exists(installed()));

    writeFile(installed(), R"({"file_url": "u", "version": "1.2.3", "copy_files": ["a"]})");
    versions().resetInstalledVersion();
    auto text = readFile(installed());
    auto json = nlohmann::ordered_json::parse(text);
    EXPECT_EQ(json.dump(), R"({"file_url":"u","version":"0.0.0","copy_files":["a"]})");
    EXPECT_TRUE(t.alerts.texts().empty());

    const std::vector<std::pair<std::string, std::string>> broken = {
        {R"({"version": )", "<Write version 0>not JSON: "},
        {R"(["1.2.3"])", "<Write version 0>not a JSON object"},
    };
    for (const auto& [content, report] : broken) {
        writeFile(installed(), content);
        versions().resetInstalledVersion();
        EXPECT_EQ(readFile(installed()), content);
        EXPECT_THAT(t.alerts.texts().back(), StartsWith(report));
        EXPECT_EQ(t.logLines().back(), t.alerts.texts().back());
    }
}

} // namespace
} // namespace dravik::test
