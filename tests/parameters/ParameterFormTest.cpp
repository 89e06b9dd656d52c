#include "parameters/ParameterForm.h"

#include "parameters/NumericParameter.h"
#include "parameters/Setting.h"

#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <stdexcept>

namespace dravik {
namespace {

size_t indexOf(std::string_view name) {
    auto all = NumericParameter::all();
    for (size_t i = 0; i < all.size(); ++i)
        if (all[i].name == name)
            return i;
    throw std::out_of_range(std::string(name));
}

ParameterForm::NumberEntry& number(ParameterForm::Entries& entries, std::string_view name) {
    return entries.numbers[indexOf(name)];
}

// The built-in definitions, and the editor's entries holding their defaults with "others" chosen.
class ParameterFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(setting.loadDefinitions(std::string("/nonexistent/definitions.ini")));
        for (const auto& parameter : NumericParameter::all()) {
            double value = (setting.*parameter.definition).defaultValue;
            defaults.numbers.push_back({std::to_string(value), value});
        }
        defaults.resolutionItem = "others";
        defaults.screenWidth = {"1024", 1024};
        defaults.screenHeight = {"640", 640};
        entries = defaults;
    }
    Setting setting;
    ParameterForm form{setting};
    ParameterForm::Entries defaults;
    ParameterForm::Entries entries;
};

TEST_F(ParameterFormTest, RangeChecksInScreenOrder) {
    using Field = ParameterForm::Refusal::Field;
    using Edit = std::function<void(ParameterForm::Entries&)>;
    struct Case {
        const char* what;
        Edit edit;
        std::optional<Field> refused;
        const char* parameter; // the refused number's parameter
        const char* message;
    };
    const std::string suffix = "の範囲の数値を入力してください。";
    const Case cases[] = {
        {"defaults", [](auto&) {}, std::nullopt, "", ""},
        {"both limits are allowed",
         [](auto& e) {
             number(e, "moveSpeed_pc").text = "0.1";
             number(e, "rotateSpeed_mouse").text = "50";
         },
         std::nullopt, "", ""},
        {"a fixed parameter is not checked",
         [](auto& e) { number(e, "optionRotateSpeedRate").text = "7"; }, std::nullopt, "", ""},
        {"just below the lower limit",
         [](auto& e) { number(e, "cameraPitchUnderLimit").text = "-90.5"; }, Field::Number,
         "cameraPitchUnderLimit", "下向きの下限角度\n\n-90〜-10"},
        {"not a number", [](auto& e) { number(e, "sendRecordTime").text = "1,000"; }, Field::Number,
         "sendRecordTime", "行動履歴のアップロード間隔(秒)\n\n10〜3600"},
        {"the first of two in screen order",
         [](auto& e) {
             number(e, "boothRange").text = "";
             number(e, "moveSpeed_wheel").text = "9";
         },
         Field::Number, "moveSpeed_wheel", "マウスホイールで進む距離の調整\n\n1.0〜3.0"},
        {"width 0", [](auto& e) { e.screenWidth.text = "0"; }, Field::ScreenWidth, "",
         "解像度\n\n1〜32767"},
        {"height beyond 32767", [](auto& e) { e.screenHeight.text = "32768"; }, Field::ScreenHeight,
         "", "解像度\n\n1〜32767"},
        {"free size not shown",
         [](auto& e) {
             e.resolutionItem = "1280x720";
             e.screenWidth.text = "";
         },
         std::nullopt, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        entries = defaults;
        c.edit(entries);
        auto refusal = form.check(entries);
        ASSERT_EQ(refusal.has_value(), c.refused.has_value());
        if (!refusal)
            continue;
        EXPECT_EQ(refusal->field, *c.refused);
        EXPECT_EQ(refusal->message, c.message + suffix);
        if (refusal->field == Field::Number) {
            EXPECT_EQ(refusal->number, indexOf(c.parameter));
        }
    }
}

TEST_F(ParameterFormTest, RecordFromTheEntries) {
    number(entries, "moveSpeed_pc").text = "1.3";
    number(entries, "boothRange") = {"", 75}; // no number typed: the stepper's value
    entries.optionBGMName = "Hall";
    entries.gammaItem = std::nullopt; // nothing chosen: the definitions' default
    entries.qualityIndex = -1;
    entries.screenWidth = {"1600", 1};
    entries.screenHeight = {"x", 900};
    entries.isFullScreen = true;
    auto record = form.record(entries);
    EXPECT_EQ(record.moveSpeed_pc, 1.3);
    EXPECT_EQ(record.boothRange, 75);
    EXPECT_EQ(record.sendRecordTime, 60);
    EXPECT_EQ(record.optionBGMName, "Hall");
    EXPECT_EQ(record.showroomBGMName, "");
    EXPECT_EQ(record.gammaValue, 1.0);
    EXPECT_EQ(record.qualityLevel, 0);
    EXPECT_EQ(record.screenWidth, 1600);
    EXPECT_EQ(record.screenHeight, 900);
    EXPECT_EQ(record.isFullScreen, true);
    EXPECT_EQ(record.isRangeAutoControl, false);
}

TEST(ParameterFormRules, ShownTextsAndChoices) {
    EXPECT_EQ(ParameterForm::fieldText(1.5, 1), "1.5");
    EXPECT_EQ(ParameterForm::fieldText(0.125, 2), "0.125"); // more places than allowed: kept
    EXPECT_EQ(ParameterForm::qualityIndex(9), 5);
    EXPECT_EQ(ParameterForm::qualityIndex(-1), 0);

    auto own = ParameterForm::splashChoice("mine.png");
    EXPECT_EQ(own.items, (std::vector<std::string>{"Splash.gif", "showroom.png", "mine.png"}));
    EXPECT_EQ(own.selected, 2);
    EXPECT_EQ(ParameterForm::splashChoice("showroom.png").selected, 1);
    EXPECT_EQ(ParameterForm::splashChoice("").items.size(), 2u);
    EXPECT_EQ(ParameterForm::splashChoice("").selected, 0);

    EXPECT_EQ(ParameterForm::lobbyIndex("on"), 1);
    EXPECT_EQ(ParameterForm::lobbyIndex("Off"), 2);
    EXPECT_EQ(ParameterForm::lobbyIndex("yes"), 0);
    EXPECT_FALSE(ParameterForm::updateChecked("off"));
    EXPECT_TRUE(ParameterForm::updateChecked(""));
}

} // namespace
} // namespace dravik
