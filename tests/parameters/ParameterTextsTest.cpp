#include "parameters/ParameterTexts.h"

#include <cmath>
#include <gtest/gtest.h>

namespace dravik {
namespace {

TEST(ParameterTexts, NumericCaptions) {
    Setting setting;
    ASSERT_TRUE(setting.loadDefinitions(std::string("/nonexistent/FPSControllerParameter.ini")));
    EXPECT_EQ(ParameterTexts::numericCaption(setting.moveSpeed_pc), "歩く速さ[↑][0.1〜2.0]");
    EXPECT_EQ(ParameterTexts::numericCaption(setting.optionRotateSpeedRate),
              "回転速度倍率[1.0固定]");
    EXPECT_TRUE(ParameterTexts::isFixed(setting.optionMoveSpeedRate));
    EXPECT_EQ(ParameterTexts::numericCaption(setting.mouseSmoothingRate),
              "マウススムージングの掛かり具合[-100.00〜100.00]");
    EXPECT_EQ(ParameterTexts::numericCaption(setting.rotateSpeed_mouse),
              "マウスの反応速度(向き)[1〜50]");
    EXPECT_DOUBLE_EQ(ParameterTexts::stepIncrement(2), 0.01);
    EXPECT_EQ(ParameterTexts::stepIncrement(-3), 1.0);
    EXPECT_EQ(ParameterTexts::formatFixed(1.25, -1), "1");
}

TEST(ParameterTexts, CurrentValues) {
    const std::pair<double, const char*> cases[] = {
        {20, "(20.0)"}, {0.5, "(0.5)"},    {-30, "(-30.0)"},         {0.1, "(0.1)"},
        {0, "(0.0)"},   {1e20, "(1e+20)"}, {1000000, "(1000000.0)"},
    };
    for (const auto& [value, text] : cases)
        EXPECT_EQ(ParameterTexts::currentValueText(value), text);
}

TEST(ParameterTexts, BrightnessIndex) {
    const std::pair<double, int> cases[] = {{1.4, 0}, {1.2, 1}, {1.0, 2}, {0.9, 2},
                                            {0.8, 3}, {0.6, 4}, {1.3, 0}, {2.0, 0},
                                            {0.2, 4}, {-5, 4},  {NAN, 0}, {1e300, 0}};
    for (const auto& [gamma, index] : cases)
        EXPECT_EQ(ParameterTexts::gammaIndex(gamma), index) << gamma;
    auto items = ParameterTexts::gammaItems();
    EXPECT_EQ(items[2], "1.0 標準");
    EXPECT_EQ(ParameterTexts::gammaFromItem(items[1]), 1.2);
}

TEST(ParameterTexts, QualityAndResolutionLists) {
    EXPECT_EQ(ParameterTexts::qualityItems(3)[3], "3:高い(標準)");
    EXPECT_EQ(ParameterTexts::qualityItems(9)[5], "5:最高(標準)");

    SettingScreen screen{"解像度", "1920x1080", {"1280x720", "1920x1080"}};
    EXPECT_EQ(ParameterTexts::resolutionItems(screen),
              (std::vector<std::string>{"1280x720", "1920x1080(標準)", "others"}));
    EXPECT_EQ(ParameterTexts::resolutionIndex(screen, 1920, 1080), 1);
    EXPECT_EQ(ParameterTexts::resolutionIndex(screen, 1024, 640), 2);
    EXPECT_EQ(ParameterTexts::resolutionIndex(SettingScreen{}, 1024, 640), 0);

    using Size = std::optional<std::pair<int32_t, int32_t>>;
    EXPECT_EQ(ParameterTexts::resolutionFromItem("1920x1080(標準)"), Size({1920, 1080}));
    EXPECT_EQ(ParameterTexts::resolutionFromItem("others"), Size());
    EXPECT_EQ(ParameterTexts::resolutionFromItem("widex640"), Size());
}

TEST(ParameterTexts, RoundedFieldText) {
    EXPECT_EQ(ParameterTexts::roundedFieldText("1.26", 1), "1.3");
    EXPECT_EQ(ParameterTexts::roundedFieldText("2", 2), "2.00");
    EXPECT_EQ(ParameterTexts::roundedFieldText("abc", 1), std::nullopt);
}

} // namespace
} // namespace dravik
