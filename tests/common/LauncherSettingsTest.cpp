#include "common/LauncherSettings.h"

#include "support/StateFileTest.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace dravik::test {
namespace {

namespace fs = std::filesystem;

class LauncherSettingsTest : public StateFileTest {
protected:
    LauncherSettingsTest() : StateFileTest("Dravik.json") {}
    LauncherSettings settings() { return LauncherSettings(*t.launcher); }
};

TEST_F(LauncherSettingsTest, ReadsValuesAsTextAndFallsBackOnlyForUnusableFiles) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {R"({"update": "OFF"})", "OFF"}, {R"({"update": false})", "false"},
        {R"({"update": true})", "true"}, {R"({"update": 12})", "12"},
        {R"({"update": -1.5})", "-1.5"}, {R"({})", ""},
        {R"({"Update": "OFF"})", ""},    {R"({"update": null})", ""},
        {R"({"update": ["OFF"]})", ""},  {R"({"update": {"v": "OFF"}})", ""},
        {R"({"update": "OFF")", "ON"},   {"", "ON"},
        {R"(["update"])", "ON"},         {"{\"update\": \"\xff\"}", "ON"},
    };
    EXPECT_EQ(settings().readLauncherSetting("update", "ON"), "ON"); // no file
    for (const auto& [content, expected] : cases) {
        writeFile(file(), content);
        EXPECT_EQ(settings().readLauncherSetting("update", "ON"), expected) << content;
    }
    fs::remove(file());
    fs::create_directory(file());
    EXPECT_EQ(settings().readLauncherSetting("update", "ON"), "ON");
}

TEST_F(LauncherSettingsTest, WritingKeepsForeignMembersInTheirOrder) {
    settings().writeLauncherSetting("update", "OFF");
    EXPECT_EQ(nlohmann::json::parse(readFile(file())), nlohmann::json({{"update", "OFF"}}));

    writeFile(file(),
              R"({"zeta": 1, "update": "ON", "alpha": {"b": [1, 2.5, null]}, "jp": "展示"})");
    settings().writeLauncherSetting("update", "OFF");
    settings().writeLauncherSetting("entry_url", "https://entry.test/?a=1&b=展");
    std::string text = readFile(file());
    EXPECT_EQ(keysInOrder(text),
              (std::vector<std::string>{"zeta", "update", "alpha", "jp", "entry_url"}));
    auto json = nlohmann::json::parse(text);
    EXPECT_EQ(json["update"], "OFF");
    EXPECT_EQ(json["alpha"], nlohmann::json::parse(R"({"b": [1, 2.5, null]})"));
    EXPECT_EQ(json["jp"], "展示");
    EXPECT_EQ(settings().readLauncherSetting("entry_url", ""), "https://entry.test/?a=1&b=展");
}

TEST_F(LauncherSettingsTest, UnusableFilesAreNeverOverwritten) {
    for (const std::string content : {R"({"update": "ON",)", R"(["update"])", "\xff\xfe{\0}"}) {
        writeFile(file(), content);
        settings().writeLauncherSetting("update", "OFF");
        EXPECT_EQ(readFile(file()), content);
    }
    fs::remove(file());
    fs::create_directory(file());
    settings().writeLauncherSetting("update", "OFF");
    EXPECT_TRUE(fs::is_directory(file()));
    EXPECT_TRUE(t.alerts.texts().empty());
}

} // namespace
} // namespace dravik::test
