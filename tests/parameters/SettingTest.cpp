#include "parameters/Setting.h"

#include "support/Fakes.h"

#include <cmath>
#include <gtest/gtest.h>

namespace dravik {
namespace {

using test::TestLauncher;

class SettingTest : public ::testing::Test {
protected:
    // Writes the definitions file as the operator's editor saves it: UTF-16, CR LF lines.
    void writeDefinitions(const std::vector<std::string>& lines) {
        std::string text;
        for (const auto& line : lines)
            text += line + "\r\n";
        test::writeFile(t.exhibition("FPSControllerParameter.ini"), test::utf16le(text));
    }
    Status load() { return setting.loadDefinitions(*t.launcher); }

    TestLauncher t;
    Setting setting;
};

TEST_F(SettingTest, BuiltInValuesWithoutAFile) {
    ASSERT_TRUE(load());
    EXPECT_EQ(setting.rotateSpeed_mouse.caption, "マウスの反応速度(向き)");
    EXPECT_EQ(setting.rotateSpeed_mouse.lower, 1);
    EXPECT_EQ(setting.rotateSpeed_mouse.upper, 50);
    EXPECT_EQ(setting.rotateSpeed_mouse.point, 0);
    EXPECT_EQ(setting.rotateSpeed_mouse.defaultValue, 20);
    EXPECT_EQ(setting.moveSpeed_pc.lower, 0.1);
    EXPECT_EQ(setting.cameraPitchUnderLimit.lower, -90);
    EXPECT_EQ(setting.optionRotateSpeedRate.lower, setting.optionRotateSpeedRate.upper);
    EXPECT_EQ(setting.optionBGMName.defaultValue, "Exhibition_hall");
    EXPECT_EQ(setting.showroomBGMName.defaultValue, "CelticMusic");
    EXPECT_EQ(setting.sendRecordTime.upper, 3600);
    EXPECT_EQ(setting.gammaValue.defaultValue, 1.0);
    EXPECT_EQ(setting.qualityLevel.defaultValue, 3);
    EXPECT_EQ(setting.screen.defaultValue, "1024x640");
    EXPECT_TRUE(setting.screen.values.empty());
    EXPECT_TRUE(setting.update.defaultValue);
    EXPECT_FALSE(setting.isFullScreen.defaultValue);
    EXPECT_FALSE(setting.isRangeAutoControl.defaultValue);
    EXPECT_EQ(setting.update.caption, "更新チェック");
    EXPECT_EQ(setting.hall8Angle_z_default, 0);
}

TEST_F(SettingTest, FileValuesOverBuiltIns) {
    writeDefinitions({
        "; comment=1",
        "[section]",
        "ROTATESPEED_MOUSE_LOWER = 5",
        "rotateSpeed_mouse_lower=7",
        "moveSpeed_pc_lower=\"0.2\"",
        "showroomBGMRate_upper=0.8",
        "isFullScreen_default=On",
        "update_default=TRUE",
        "boothRange_caption=Range\\nline",
        "qualityLevel_default=+4",
        "hall64Angle_y_default=-1.5e2",
        "optionBGMName_default=",
    });
    ASSERT_TRUE(load());
    EXPECT_EQ(setting.rotateSpeed_mouse.lower, 5); // key case ignored, first line counts
    EXPECT_EQ(setting.moveSpeed_pc.lower, 0.2);
    EXPECT_EQ(setting.showroomBGMRate.upper, 0.8);
    EXPECT_TRUE(setting.isFullScreen.defaultValue);
    EXPECT_FALSE(setting.update.defaultValue); // only "on" is on
    EXPECT_EQ(setting.boothRange.caption, "Range\\nline");
    EXPECT_EQ(setting.qualityLevel.defaultValue, 4);
    EXPECT_EQ(setting.hall64Angle_y_default, -150);
    EXPECT_EQ(setting.optionBGMName.defaultValue, "");
}

TEST_F(SettingTest, ANonNumberStopsLoadingAtItsKey) {
    struct Case {
        std::string line;
        std::string key;
    };
    const Case cases[] = {
        {"rotateSpeed_mouse_default=", "rotateSpeed_mouse_default"},  // empty
        {"rotateSpeed_arrow_lower=abc", "rotateSpeed_arrow_lower"},   // text
        {"moveSpeed_pc_upper=2,5", "moveSpeed_pc_upper"},             // decimal comma
        {"dashMoveSpeedRate_upper=2.5x", "dashMoveSpeedRate_upper"},  // trailing text
        {"mouseSmoothingRate_point=1.0", "mouseSmoothingRate_point"}, // places not an integer
        {"optionBGMRate_point=", "optionBGMRate_point"},              // empty integer
        {"showroomBGMRate_lower=0x10", "showroomBGMRate_lower"},      // hexadecimal
        {"boothRange_default=inf", "boothRange_default"},             // not finite
        {"boothObjectRange_upper=1e999", "boothObjectRange_upper"},   // overflow
        {"gammaValue_default=bright", "gammaValue_default"},          // gamma
        {"qualityLevel_default=2.0", "qualityLevel_default"},         // quality not an integer
        {"qualityLevel_default=2147483648", "qualityLevel_default"},  // beyond 32 bits
        {"qualityLevel_default=-2147483649", "qualityLevel_default"}, // below 32 bits
        {"sendRecordTime_point=99999999999999999999", "sendRecordTime_point"}, // beyond 64 bits
        {"hall8Angle_z_default=.", "hall8Angle_z_default"},                    // placement
        {"personDirectionalLight_intensity_default=1e", "personDirectionalLight_intensity_default"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        writeDefinitions({c.line});
        Setting fresh;
        Status status = fresh.loadDefinitions(*t.launcher);
        ASSERT_FALSE(status);
        EXPECT_EQ(status.error(), c.key + "\n");
        EXPECT_EQ(SettingReadError::code, -1);
    }
}

TEST_F(SettingTest, FieldsAfterTheFailingKeyKeepTheirInitialValues) {
    writeDefinitions({"moveSpeed_pc_upper=fast"});
    ASSERT_FALSE(load());
    EXPECT_EQ(setting.rotateSpeed_arrow.defaultValue, 40);
    EXPECT_EQ(setting.moveSpeed_pc.caption, "歩く速さ[↑]");
    EXPECT_EQ(setting.moveSpeed_pc.lower, 0.1);
    EXPECT_EQ(setting.moveSpeed_pc.upper, 0);
    EXPECT_EQ(setting.moveSpeed_pc.defaultValue, 0);
    EXPECT_EQ(setting.boothRange.caption, "");
    EXPECT_FALSE(setting.update.defaultValue);
}

TEST_F(SettingTest, FilesThatAreNotUtf16CrLf) {
    // UTF-8 is not read at all.
    test::writeFile(t.exhibition("FPSControllerParameter.ini"),
                    "rotateSpeed_mouse_lower=5\r\nrotateSpeed_mouse_upper=bad\r\n");
    ASSERT_TRUE(load());
    EXPECT_EQ(setting.rotateSpeed_mouse.lower, 1);

    // LF-only lines make one item whose value is the rest of the file.
    test::writeFile(t.exhibition("FPSControllerParameter.ini"),
                    test::utf16le("rotateSpeed_mouse_caption=Mouse\nrotateSpeed_mouse_lower=5\n"));
    Setting captionOnly;
    ASSERT_TRUE(captionOnly.loadDefinitions(*t.launcher));
    EXPECT_EQ(captionOnly.rotateSpeed_mouse.caption.rfind("Mouse\nrotateSpeed_mouse_lower=5", 0),
              0u);
    EXPECT_EQ(captionOnly.rotateSpeed_mouse.lower, 1);

    test::writeFile(t.exhibition("FPSControllerParameter.ini"),
                    test::utf16le("moveSpeed_pc_lower=0.2\nmoveSpeed_pc_upper=3"));
    Setting numberFirst;
    Status status = numberFirst.loadDefinitions(*t.launcher);
    ASSERT_FALSE(status);
    EXPECT_EQ(status.error(), "moveSpeed_pc_lower\n");
}

TEST_F(SettingTest, ScreenListEndsAtTheFirstGap) {
    struct Case {
        std::vector<std::string> lines;
        std::vector<std::string> values;
    };
    const Case cases[] = {
        {{"screen1=1280x720", "screen3=1920x1080"}, {"1280x720"}},
        {{"screen2=1920x1080", "screen1=1280x720"}, {"1280x720", "1920x1080"}},
        {{"screen1=1280x720", "screen2=", "screen3=1920x1080"}, {"1280x720"}},
        {{"screen01=1280x720"}, {}},
        {{"SCREEN1=800x600", "screen1=1024x768"}, {"800x600"}},
    };
    for (const auto& c : cases) {
        writeDefinitions(c.lines);
        Setting fresh;
        ASSERT_TRUE(fresh.loadDefinitions(*t.launcher));
        EXPECT_EQ(fresh.screen.values, c.values) << c.lines.front();
    }
}

TEST(SettingNumbers, ResolutionParts) {
    struct Case {
        const char* text;
        int32_t width, height;
    };
    const Case cases[] = {
        {"1024x640", 1024, 640},   {"1024X640", 0, 0},   {"1920x1080x2", 1920, 1080},
        {"x640", 0, 640},          {"1024", 1024, 0},    {"", 0, 0},
        {"+800x-600", 800, -600},  {" 800x600", 0, 600}, {"3000000000x5", 0, 5},
        {"800x600(標準)", 800, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(resolutionWidth(c.text), c.width) << c.text;
        EXPECT_EQ(resolutionHeight(c.text), c.height) << c.text;
    }
}

TEST(SettingNumbers, DoubleAndIntegerForms) {
    const std::pair<const char*, std::optional<double>> doubles[] = {
        {"0.5", 0.5},  {"+.5", 0.5}, {"-3.", -3.0}, {"1E2", 100.0}, {"1e-400", 0.0},
        {"", {}},      {" 1", {}},   {"1 ", {}},    {"nan", {}},    {"-infinity", {}},
        {"0x1p3", {}}, {"1e+", {}},  {"--1", {}},   {"１", {}},
    };
    for (const auto& [text, value] : doubles)
        EXPECT_EQ(Setting::parseDouble(text), value) << text;

    const std::pair<const char*, std::optional<int64_t>> integers[] = {
        {"42", 42},
        {"+7", 7},
        {"-0", 0},
        {"-9223372036854775808", INT64_MIN},
        {"9223372036854775808", {}},
        {"+-1", {}},
        {"+", {}},
        {"1e3", {}},
        {" 1", {}},
    };
    for (const auto& [text, value] : integers)
        EXPECT_EQ(Setting::parseInteger(text), value) << text;
}

} // namespace
} // namespace dravik
