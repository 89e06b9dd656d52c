#include "parameters/ParameterFile.h"

#include "parameters/Setting.h"
#include "support/Fakes.h"

#include <filesystem>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace dravik {
namespace {

namespace fs = std::filesystem;
using nlohmann::ordered_json;
using test::TestLauncher;
using ::testing::ElementsAre;
using ::testing::StartsWith;

// A file as the viewer writes it: all 27 keys.
ordered_json fullDocument() {
    return ordered_json::parse(R"({
        "rotateSpeed_mouse": 21, "rotateSpeed_arrow": 41, "moveSpeed_pc": 1.5,
        "moveSpeed_wheel": 2, "dashMoveSpeedRate": 2, "cameraPitchUpperLimit": 20,
        "cameraPitchUnderLimit": -30, "mouseSmoothingRate": 0.5, "optionRotateSpeedRate": 1,
        "optionMoveSpeedRate": 1, "optionEnvironmentRate": -30, "optionBGMRate": 0.25,
        "optionBGMName": "Exhibition_hall", "showroomBGMRate": 0.5, "showroomBGMName": "Celtic",
        "boothRangeUnderLimit": 0, "boothObjectRangeUnderLimit": 0, "isRangeAutoControl": true,
        "boothRange": 50, "boothObjectRange": 30, "qualityLevel": 4, "screenWidth": 1920,
        "screenHeight": 1080, "isFullScreen": false, "dataValidTime": 120,
        "sendRecordTime": 60, "gammaValue": 0.8})");
}

std::vector<std::string> keysOf(const ordered_json& object) {
    std::vector<std::string> keys;
    for (const auto& [key, value] : object.items())
        keys.push_back(key);
    return keys;
}

class ParameterFileTest : public ::testing::Test {
protected:
    std::string path() { return t.exhibition("FPSControllerParameter.json"); }
    void writeParameters(const std::string& text) { test::writeFile(path(), text); }
    ordered_json written() { return ordered_json::parse(test::readFile(path())); }
    std::string launcherSetting(const std::string& key) {
        auto settings = nlohmann::json::parse(test::readFile(t.exhibition("Dravik.json")));
        return settings.value(key, std::string("<missing>"));
    }

    TestLauncher t;
    ParameterFile file{*t.launcher};
    Setting builtIn;
};

TEST_F(ParameterFileTest, ReadsStrictly) {
    auto without = [](const char* key) {
        auto document = fullDocument();
        document.erase(key);
        return document.dump();
    };
    auto with = [](const char* key, ordered_json value) {
        auto document = fullDocument();
        document[key] = std::move(value);
        return document.dump();
    };
    struct Case {
        const char* name;
        std::string text;
        bool ok;
    };
    const Case cases[] = {
        {"complete", fullDocument().dump(), true},
        {"no isFullScreen", without("isFullScreen"), true},
        {"null isRangeAutoControl", with("isRangeAutoControl", nullptr), true},
        {"foreign key", with("prevDownloadTime", ordered_json::array({1})), true},
        {"whole number with fraction", with("qualityLevel", 3.0), true},
        {"not JSON", "{\"rotateSpeed_mouse\": ", false},
        {"empty", "", false},
        {"array", "[" + fullDocument().dump() + "]", false},
        {"no screenHeight", without("screenHeight"), false},
        {"null gammaValue", with("gammaValue", nullptr), false},
        {"qualityLevel 3.5", with("qualityLevel", 3.5), false},
        {"screenWidth beyond 32 bits", with("screenWidth", 2147483648LL), false},
        {"screenHeight below 32 bits", with("screenHeight", -2147483649LL), false},
        {"number as text", with("boothRange", "50"), false},
        {"name as number", with("optionBGMName", 1), false},
        {"bool as text", with("isFullScreen", "true"), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeParameters(c.text);
        auto record = file.readParameterFile();
        EXPECT_EQ(record.hasValue(), c.ok) << record.error();
    }

    writeParameters(without("isFullScreen"));
    auto record = file.readParameterFile();
    ASSERT_TRUE(record);
    EXPECT_EQ(record->rotateSpeed_mouse, 21);
    EXPECT_EQ(record->moveSpeed_pc, 1.5);
    EXPECT_EQ(record->showroomBGMName, "Celtic");
    EXPECT_EQ(record->qualityLevel, 4);
    EXPECT_EQ(record->screenHeight, 1080);
    EXPECT_EQ(record->isRangeAutoControl, true);
    EXPECT_EQ(record->isFullScreen, std::nullopt);
    EXPECT_EQ(record->gammaValue, 0.8);

    fs::remove(path());
    EXPECT_FALSE(file.readParameterFile());
    EXPECT_TRUE(t.alerts.texts().empty());
}

TEST_F(ParameterFileTest, SaveKeepsForeignKeysInTheirPlaces) {
    ordered_json document = ordered_json::object();
    document["prevDownloadTime"] = ordered_json::array({"2024-01-01"});
    document["rotateSpeed_mouse"] = "old text";
    document["personDirectionalLight"] = {{"intensity", 2}, {"extra", true}};
    const auto full = fullDocument();
    for (const auto& [key, value] : full.items())
        if (key != "rotateSpeed_mouse")
            document[key] = value;
    document["prevInviteCode"] = "123456789012";
    writeParameters(document.dump(4));

    auto values = builtIn.defaultParameters();
    values.rotateSpeed_mouse = 33;
    values.optionBGMName = "Other";
    values.isFullScreen = true;
    ASSERT_TRUE(file.writeParameterFile(values, false, builtIn));

    auto after = written();
    EXPECT_EQ(keysOf(after), keysOf(document));
    EXPECT_EQ(after["prevDownloadTime"], document["prevDownloadTime"]);
    EXPECT_EQ(after["personDirectionalLight"], document["personDirectionalLight"]);
    EXPECT_EQ(after["prevInviteCode"], "123456789012");
    EXPECT_EQ(after["rotateSpeed_mouse"], 33.0);
    EXPECT_EQ(after["optionBGMName"], "Other");
    EXPECT_EQ(after["isFullScreen"], true);
    EXPECT_TRUE(after["qualityLevel"].is_number_integer());
}

TEST_F(ParameterFileTest, SaveAfterResetReplacesThePlacementObjects) {
    writeParameters(R"({"personDirectionalLight": {"intensity": 5, "colour": "red",
                        "localEulerAngle": {"x": 1, "w": 2}}, "hall8Angle": 7,
                        "prevDownloadTime": [1, 2], "keep": 1})");
    test::writeFile(t.exhibition("FPSControllerParameter.ini"),
                    test::utf16le("personDirectionalLight_localEulerAngle_y_default=45\r\n"
                                  "hall64Position_z_default=-2.5\r\n"));
    Setting setting;
    ASSERT_TRUE(setting.loadDefinitions(*t.launcher));
    ASSERT_TRUE(file.writeParameterFile(setting.defaultParameters(), true, setting));

    auto after = written();
    EXPECT_EQ(after["keep"], 1);
    EXPECT_EQ(after["prevDownloadTime"], ordered_json::array());
    EXPECT_EQ(after["prevInviteCode"], "");
    EXPECT_EQ(after["personDirectionalLight"].dump(),
              R"({"intensity":0.0,"localEulerAngle":{"x":0.0,"y":45.0,"z":0.0}})");
    EXPECT_EQ(after["hall64Position"].dump(), R"({"x":0.0,"y":0.0,"z":-2.5})");
    EXPECT_EQ(after["hall8Angle"].dump(), R"({"x":0.0,"y":0.0,"z":0.0})");
    EXPECT_THAT(keysOf(after["lobbyPersonDirectionalLight"]),
                ElementsAre("intensity", "localEulerAngle"));
}

TEST_F(ParameterFileTest, UnusableFileIsLeftAsItWas) {
    // The last one is nested too deep to be written back without exhausting the stack.
    const std::string cases[] = {"{\"rotateSpeed_mouse\": 1,", "[1, 2, 3]", "null",
                                 "{\"x\":" + std::string(100000, '[') + std::string(100000, ']') +
                                     "}"};
    for (const auto& text : cases) {
        SCOPED_TRACE(text.substr(0, 40));
        writeParameters(text);
        size_t before = t.alerts.texts().size();
        EXPECT_FALSE(file.writeParameterFile(builtIn.defaultParameters(), true, builtIn));
        EXPECT_EQ(test::readFile(path()), text);
        ASSERT_EQ(t.alerts.texts().size(), before + 1);
        EXPECT_THAT(t.alerts.texts().back(), StartsWith("操作パラメータの保存\n\n"));
        EXPECT_GT(t.alerts.texts().back().size(), std::string("操作パラメータの保存\n\n").size());
        EXPECT_EQ(t.logLines().back(), t.alerts.texts().back());
    }
}

TEST_F(ParameterFileTest, SaveFailsWhereTheFolderCannotTakeTheFile) {
    // A read-only folder (ignored by a privileged user) and a folder that is really a file.
    std::string readOnly = t.exhibition();
    fs::permissions(readOnly, fs::perms::owner_read | fs::perms::owner_exec);
    bool permissionsApply = !std::ofstream(readOnly + "/probe").is_open();
    if (permissionsApply) {
        EXPECT_FALSE(file.writeParameterFile(builtIn.defaultParameters(), false, builtIn));
        EXPECT_FALSE(fs::exists(path()));
    }
    fs::permissions(readOnly, fs::perms::owner_all);
    fs::remove_all(readOnly);
    test::writeFile(readOnly, "not a folder");
    EXPECT_FALSE(file.writeParameterFile(builtIn.defaultParameters(), false, builtIn));

    auto alerts = t.alerts.texts();
    ASSERT_EQ(alerts.size(), permissionsApply ? 2u : 1u);
    for (const auto& alert : alerts)
        EXPECT_THAT(alert, StartsWith("操作パラメータの保存\n\n"));
}

TEST_F(ParameterFileTest, FirstSaveCreatesTheFileWithTheRecordKeys) {
    auto values = builtIn.defaultParameters();
    values.screenWidth = 1280;
    values.isRangeAutoControl = std::nullopt;
    ASSERT_TRUE(file.writeParameterFile(values, false, builtIn));
    EXPECT_EQ(written().size(), 27u);
    auto record = file.readParameterFile();
    ASSERT_TRUE(record);
    EXPECT_EQ(record->screenWidth, 1280);
    EXPECT_EQ(record->isRangeAutoControl, false);
    EXPECT_TRUE(t.alerts.texts().empty());
}

TEST_F(ParameterFileTest, ResetWritesTheBuiltInDefaults) {
    test::writeFile(t.exhibition("Dravik.json"), R"({"update": "OFF", "LobbyDisplay": "ON"})");
    file.writeDefaultParameters();

    auto after = written();
    auto expected = ordered_json::parse(R"({
        "rotateSpeed_mouse": 20, "rotateSpeed_arrow": 40, "moveSpeed_pc": 1, "moveSpeed_wheel": 2,
        "dashMoveSpeedRate": 2, "cameraPitchUpperLimit": 20, "cameraPitchUnderLimit": -30,
        "mouseSmoothingRate": 0.5, "optionRotateSpeedRate": 1, "optionMoveSpeedRate": 1,
        "optionEnvironmentRate": -30, "optionBGMRate": 0.5, "optionBGMName": "Exhibition_hall",
        "showroomBGMRate": 0.5, "showroomBGMName": "CelticMusic", "boothRangeUnderLimit": 0,
        "boothObjectRangeUnderLimit": 0, "isRangeAutoControl": false, "boothRange": 50,
        "boothObjectRange": 30, "qualityLevel": 3, "screenWidth": 1024, "screenHeight": 640,
        "isFullScreen": false, "dataValidTime": 120, "sendRecordTime": 60, "gammaValue": 1,
        "prevDownloadTime": [], "prevInviteCode": ""})");
    for (const auto& [key, value] : expected.items())
        EXPECT_EQ(after[key], value) << key;
    EXPECT_EQ(after.size(), expected.size() + 8);
    EXPECT_EQ(launcherSetting("update"), "ON");
    EXPECT_EQ(launcherSetting("LobbyDisplay"), "AUTO");
    EXPECT_TRUE(t.alerts.texts().empty());
}

TEST_F(ParameterFileTest, ResetFailuresStillWriteTheLauncherSettings) {
    // A definitions error: the parameter file is not touched; update as far as loading got.
    test::writeFile(t.exhibition("FPSControllerParameter.ini"),
                    test::utf16le("update_default=ON\r\nsendRecordTime_lower=ten\r\n"));
    writeParameters("{\"keep\": true}");
    file.writeDefaultParameters();
    EXPECT_EQ(test::readFile(path()), "{\"keep\": true}");
    EXPECT_THAT(t.alerts.texts(), ElementsAre("<Reset parameter>sendRecordTime_lower\n"));
    EXPECT_EQ(t.logLines().back(), "<Reset parameter>sendRecordTime_lower\n");
    EXPECT_EQ(launcherSetting("update"), "OFF");
    EXPECT_EQ(launcherSetting("LobbyDisplay"), "AUTO");

    // A parameter file that is not JSON.
    test::writeFile(t.exhibition("FPSControllerParameter.ini"),
                    test::utf16le("update_default=off\r\n"));
    writeParameters("not json");
    fs::remove(t.exhibition("Dravik.json"));
    file.writeDefaultParameters();
    EXPECT_EQ(test::readFile(path()), "not json");
    ASSERT_EQ(t.alerts.texts().size(), 2u);
    EXPECT_THAT(t.alerts.texts().back(), StartsWith("<Reset parameter>not JSON"));
    EXPECT_EQ(launcherSetting("update"), "OFF");
    EXPECT_EQ(launcherSetting("LobbyDisplay"), "AUTO");
}

} // namespace
} // namespace dravik
