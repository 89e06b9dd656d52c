#pragma once

// The limits, captions and defaults of the viewer's operation parameters, read from
// Exhibition/FPSControllerParameter.ini over built-in values.
//
// For the parameter editor:
//   Setting setting;
//   Status loaded = setting.loadDefinitions(launcher);
//   if (!loaded) -> alert "設定の読込みでエラーが発生しました\n\n" + loaded.error(), log, dismiss.
//   NumericParameter::all() lists the 19 numeric parameters in screen order, each with its name
//   (the outlet suffix), its definition and its record field; ParameterTexts.h formats the
//   captions; setting.defaultParameters() is the record of definition defaults
//   (m_parameter_default); setting.update.defaultValue is m_update_default.
//   Setting::parseDouble / parseInteger are the number rules for typed field text.

#include "base/Expected.h"
#include "common/Ini.h"
#include "parameters/NumericParameter.h"
#include "parameters/QZ_FPSControllerParameter.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace dravik {

class Launcher;

struct SettingNumericUpDown {
    std::string caption;
    double lower = 0;
    double upper = 0;
    int64_t point = 0; // decimal places
    double defaultValue = 0;
};

struct SettingString {
    std::string caption;
    std::string defaultValue;
};

struct SettingGammaValue {
    std::string caption;
    double defaultValue = 0;
};

struct SettingQualityLevel {
    std::string caption;
    int32_t defaultValue = 0;
};

struct SettingScreen {
    std::string caption;
    std::string defaultValue; // width "x" height
    std::vector<std::string> values;
};

struct SettingOnOff {
    std::string caption;
    bool defaultValue = false;
};

// The failure of a number lookup: the key that failed followed by a line feed, code -1.
struct SettingReadError {
    static constexpr int code = -1;
    std::string key;

    std::string description() const { return key + "\n"; }
    Error error() const { return Error{description()}; }
};

class Setting {
public:
    // "<base>/Exhibition/FPSControllerParameter.ini"
    static std::string definitionsPath(const Launcher& launcher);

    // Reads the definitions file (a missing or undecodable file means built-in values only) and
    // fills every definition in order. The first value that must be a number and is not one stops
    // loading; the error text is SettingReadError::description() of its key. Fields before it
    // keep their loaded values, fields after it their initial ones.
    Status loadDefinitions(const Launcher& launcher);
    Status loadDefinitions(const std::string& path);

    // Case-insensitive first match, the value exactly as stored; defaultValue when absent.
    std::string getSettingValue(std::string_view key, std::string_view defaultValue) const;
    Expected<int64_t> getSettingInt(std::string_view key, std::string_view defaultValue) const;
    Expected<double> getSettingDouble(std::string_view key, std::string_view defaultValue) const;

    // The definition defaults as a parameter record (the reset values).
    QZ_FPSControllerParameter defaultParameters() const;

    // A floating-point number in C-locale strtod form, the whole text, no blanks; finite only.
    static std::optional<double> parseDouble(std::string_view text);
    // An optional sign and decimal digits only, within 64 bits.
    static std::optional<int64_t> parseInteger(std::string_view text);

    struct PlacementDefault {
        const char* key;
        double Setting::*value;
    };
    // The 26 light and hall placement defaults in reading order.
    static std::span<const PlacementDefault> placementDefaults();

    std::vector<SettingItem> m_items;

    // The numeric definitions, one per row of the table: rotateSpeed_mouse … sendRecordTime.
#define DRAVIK_SETTING_MEMBER(name, ...) SettingNumericUpDown name;
    DRAVIK_NUMERIC_PARAMETERS(DRAVIK_SETTING_MEMBER)
#undef DRAVIK_SETTING_MEMBER
    SettingString optionBGMName;
    SettingString showroomBGMName;
    SettingGammaValue gammaValue;
    SettingQualityLevel qualityLevel;
    SettingScreen screen;
    SettingOnOff isRangeAutoControl;
    SettingOnOff isFullScreen;
    SettingOnOff update;

    double lobbyPersonDirectionalLight_intensity_default = 0;
    double lobbyPersonDirectionalLight_localEulerAngle_x_default = 0;
    double lobbyPersonDirectionalLight_localEulerAngle_y_default = 0;
    double lobbyPersonDirectionalLight_localEulerAngle_z_default = 0;
    double personDirectionalLight_intensity_default = 0;
    double personDirectionalLight_localEulerAngle_x_default = 0;
    double personDirectionalLight_localEulerAngle_y_default = 0;
    double personDirectionalLight_localEulerAngle_z_default = 0;
    double hall192Position_x_default = 0;
    double hall192Position_y_default = 0;
    double hall192Position_z_default = 0;
    double hall64Position_x_default = 0;
    double hall64Position_y_default = 0;
    double hall64Position_z_default = 0;
    double hall8Position_x_default = 0;
    double hall8Position_y_default = 0;
    double hall8Position_z_default = 0;
    double hall192Angle_x_default = 0;
    double hall192Angle_y_default = 0;
    double hall192Angle_z_default = 0;
    double hall64Angle_x_default = 0;
    double hall64Angle_y_default = 0;
    double hall64Angle_z_default = 0;
    double hall8Angle_x_default = 0;
    double hall8Angle_y_default = 0;
    double hall8Angle_z_default = 0;

private:
    Status loadNumeric(const NumericParameter& parameter);
    // The definitions that the file's order puts after the numeric parameter of that name.
    Status loadDefinitionsAfter(std::string_view numericName);
    Status loadGammaAndQuality();
    void loadString(const char* name, SettingString& definition, const char* caption,
                    const char* defaultValue);
    void loadOnOff(const char* name, SettingOnOff& definition, const char* caption,
                   const char* defaultValue);
};

// Width and height of a resolution text such as "1024x640" (split at every lower-case "x");
// 0 for a part that is missing or not a 32-bit decimal integer.
int32_t resolutionWidth(std::string_view text);
int32_t resolutionHeight(std::string_view text);

} // namespace dravik
