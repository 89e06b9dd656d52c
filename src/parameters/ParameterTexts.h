#pragma once

// The texts and index rules of the parameter editor, computed without widgets. The editor calls:
//   configureNumericControls: label_N = numericCaption(def); if isFixed(def) disable the field and
//     hide the stepper; formatter/stepper range = def.lower/def.upper;
//     stepper increment = stepIncrement(def.point); field tag = def.point.
//   showCurrentValues: label_N_now = currentValueText(value) ("(20.0)"); clearCurrentValues "( )".
//   brightness: gammaItems(), select gammaIndex(record.gammaValue); save: gammaFromItem(text).
//   quality: qualityItems(m_parameter_default.qualityLevel), select record.qualityLevel.
//   resolution: resolutionItems(setting.screen), select resolutionIndex(setting.screen, w, h);
//     onResolutionChanged: kOthers shows the free size controls, otherwise
//     resolutionFromItem(text) gives the steppers' width and height.
//   roundTextFieldValue: roundedFieldText(text, tag); leave the field alone on nullopt.

#include "parameters/Setting.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace dravik {

class ParameterTexts {
public:
    static constexpr std::string_view kOthers = "others";
    static constexpr std::string_view kStandardMark = "(標準)";
    static constexpr std::string_view kNoCurrentValue = "( )";

    // "%0.<point>f" of a number; point is taken within 0..17.
    static std::string formatFixed(double value, int64_t point);
    // lower equal to upper: the parameter cannot be changed.
    static bool isFixed(const SettingNumericUpDown& definition);
    // "歩く速さ[↑][0.1〜2.0]", or "回転速度倍率[1.0固定]" for a fixed parameter.
    static std::string numericCaption(const SettingNumericUpDown& definition);
    // 1 / 10^point (point within 0..17).
    static double stepIncrement(int64_t point);

    // A double as its shortest text that reads back the same, whole numbers with ".0".
    static std::string shortestText(double value);
    // "(" + shortestText + ")".
    static std::string currentValueText(double value);

    static std::vector<std::string> gammaItems();
    // 7 - round(gamma * 5), half away from zero, within 0..4.
    static int gammaIndex(double gammaValue);
    // The first word of a brightness item as a number ("1.2 少し暗い" -> 1.2).
    static std::optional<double> gammaFromItem(std::string_view item);

    // "0:とても低い" … "5:最高", "(標準)" after the item of the default (within 0..5).
    static std::vector<std::string> qualityItems(int32_t defaultLevel);

    // The listed sizes, "(標準)" after the default size, then "others".
    static std::vector<std::string> resolutionItems(const SettingScreen& screen);
    // The first listed size equal to width "x" height, else the index of "others".
    static int resolutionIndex(const SettingScreen& screen, int32_t width, int32_t height);
    // Width and height of a chosen item ("1920x1080(標準)" -> 1920, 1080), split at "x", "(" and
    // ")"; nullopt for fewer than two parts or a part that is not a 32-bit integer.
    static std::optional<std::pair<int32_t, int32_t>> resolutionFromItem(std::string_view item);

    // The text of a typed number rounded to point places ("1.26", 1 -> "1.3"); nullopt when the
    // text is not a number.
    static std::optional<std::string> roundedFieldText(std::string_view text, int64_t point);
};

} // namespace dravik
