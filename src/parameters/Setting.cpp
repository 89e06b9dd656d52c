#include "parameters/Setting.h"

#include "common/Launcher.h"
#include "common/Unicode.h"

#include <cerrno>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <limits>
#if __has_include(<xlocale.h>)
#include <xlocale.h>
#endif

namespace dravik {

namespace {

// The C locale, whatever locale the process runs in, so "0.5" never depends on the visitor's
// decimal separator.
locale_t cLocale() {
    static locale_t locale = newlocale(LC_ALL_MASK, "C", locale_t(0));
    return locale;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The decimal form strtod accepts: sign, digits with an optional fraction, optional exponent.
// Hexadecimal, "inf" and "nan" are left out: none of them is a usable limit or value.
bool isDecimalNumber(std::string_view text) {
    size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    size_t digits = 0;
    while (i < text.size() && isDigit(text[i]))
        ++i, ++digits;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && isDigit(text[i]))
            ++i, ++digits;
    }
    if (digits == 0)
        return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            ++i;
        size_t exponentDigits = 0;
        while (i < text.size() && isDigit(text[i]))
            ++i, ++exponentDigits;
        if (exponentDigits == 0)
            return false;
    }
    return i == text.size();
}

} // namespace

std::optional<double> Setting::parseDouble(std::string_view text) {
    if (!isDecimalNumber(text))
        return std::nullopt;
    std::string copy(text);
    errno = 0;
    char* end = nullptr;
    double value = strtod_l(copy.c_str(), &end, cLocale());
    if (end != copy.c_str() + copy.size() || !std::isfinite(value))
        return std::nullopt; // an overflow gives HUGE_VAL; an underflow is kept as read
    return value;
}

std::optional<int64_t> Setting::parseInteger(std::string_view text) {
    size_t start = 0;
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1); // from_chars reads "-" but not "+"
    else if (!text.empty() && text.front() == '-')
        start = 1;
    if (text.size() == start)
        return std::nullopt;
    for (size_t i = start; i < text.size(); ++i)
        if (!isDigit(text[i]))
            return std::nullopt;
    int64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::string Setting::definitionsPath(const Launcher& launcher) {
    return launcher.exhibitionPath("FPSControllerParameter.ini");
}

std::string Setting::getSettingValue(std::string_view key, std::string_view defaultValue) const {
    std::string wanted = asciiLower(key);
    for (const auto& item : m_items)
        if (asciiLower(item.key) == wanted)
            return item.value;
    return std::string(defaultValue);
}

Expected<int64_t> Setting::getSettingInt(std::string_view key,
                                         std::string_view defaultValue) const {
    if (auto value = parseInteger(getSettingValue(key, defaultValue)))
        return *value;
    return SettingReadError{std::string(key)}.error();
}

Expected<double> Setting::getSettingDouble(std::string_view key,
                                           std::string_view defaultValue) const {
    if (auto value = parseDouble(getSettingValue(key, defaultValue)))
        return *value;
    return SettingReadError{std::string(key)}.error();
}

Status Setting::loadNumeric(const NumericParameter& parameter) {
    std::string n(parameter.name);
    SettingNumericUpDown& definition = this->*parameter.definition;
    definition.caption = getSettingValue(n + "_caption", parameter.caption);
    auto lowerValue = getSettingDouble(n + "_lower", parameter.lower);
    if (!lowerValue)
        return Error{lowerValue.error()};
    definition.lower = *lowerValue;
    auto upperValue = getSettingDouble(n + "_upper", parameter.upper);
    if (!upperValue)
        return Error{upperValue.error()};
    definition.upper = *upperValue;
    auto pointValue = getSettingInt(n + "_point", parameter.point);
    if (!pointValue)
        return Error{pointValue.error()};
    definition.point = *pointValue;
    auto value = getSettingDouble(n + "_default", parameter.defaultValue);
    if (!value)
        return Error{value.error()};
    definition.defaultValue = *value;
    return {};
}

Status Setting::loadDefinitionsAfter(std::string_view numericName) {
    if (numericName == "optionBGMRate")
        loadString("optionBGMName", optionBGMName, "BGMファイル名（雑踏感など）",
                   "Exhibition_hall");
    else if (numericName == "showroomBGMRate")
        loadString("showroomBGMName", showroomBGMName, "ショールームのBGMファイル名",
                   "CelticMusic");
    else if (numericName == "boothObjectRange")
        return loadGammaAndQuality();
    return {};
}

Status Setting::loadGammaAndQuality() {
    gammaValue.caption =
        getSettingValue("gammaValue_caption", "展示ホール全体の明るさ(ガンマ補正)");
    auto gamma = getSettingDouble("gammaValue_default", "1.0");
    if (!gamma)
        return Error{gamma.error()};
    gammaValue.defaultValue = *gamma;

    qualityLevel.caption = getSettingValue("qualityLevel_caption", "VRオブジェクトの描画品質");
    auto quality = getSettingInt("qualityLevel_default", "3");
    if (!quality || *quality < std::numeric_limits<int32_t>::min() ||
        *quality > std::numeric_limits<int32_t>::max())
        return SettingReadError{"qualityLevel_default"}.error();
    qualityLevel.defaultValue = static_cast<int32_t>(*quality);
    return {};
}

void Setting::loadString(const char* name, SettingString& definition, const char* caption,
                         const char* defaultValue) {
    std::string n(name);
    definition.caption = getSettingValue(n + "_caption", caption);
    definition.defaultValue = getSettingValue(n + "_default", defaultValue);
}

void Setting::loadOnOff(const char* name, SettingOnOff& definition, const char* caption,
                        const char* defaultValue) {
    std::string n(name);
    definition.caption = getSettingValue(n + "_caption", caption);
    definition.defaultValue = asciiLower(getSettingValue(n + "_default", defaultValue)) == "on";
}

Status Setting::loadDefinitions(const Launcher& launcher) {
    return loadDefinitions(definitionsPath(launcher));
}

Status Setting::loadDefinitions(const std::string& path) {
    m_items = Ini::load(path).items();

    // The file's order: the numeric table with the music names, the brightness and the quality
    // among its rows, then the resolution, the switches and the placement defaults.
    for (const auto& parameter : NumericParameter::all()) {
        if (Status status = loadNumeric(parameter); !status)
            return status;
        if (Status status = loadDefinitionsAfter(parameter.name); !status)
            return status;
    }

    screen.caption = getSettingValue("screen_caption", "解像度");
    screen.defaultValue = getSettingValue("screen_default", "1024x640");
    screen.values.clear();
    for (int i = 1;; ++i) {
        std::string value = getSettingValue("screen" + std::to_string(i), "");
        if (value.empty())
            break;
        screen.values.push_back(std::move(value));
    }

    loadOnOff("isRangeAutoControl", isRangeAutoControl, "表示範囲を自動で調整する", "OFF");
    loadOnOff("isFullScreen", isFullScreen, "フルスクリーン", "OFF");
    loadOnOff("update", update, "更新チェック", "ON");

    for (const auto& placement : placementDefaults()) {
        auto value = getSettingDouble(placement.key, "0");
        if (!value)
            return Error{value.error()};
        this->*placement.value = *value;
    }
    return {};
}

QZ_FPSControllerParameter Setting::defaultParameters() const {
    QZ_FPSControllerParameter record;
    for (const auto& parameter : NumericParameter::all())
        record.*parameter.value = (this->*parameter.definition).defaultValue;
    record.optionBGMName = optionBGMName.defaultValue;
    record.showroomBGMName = showroomBGMName.defaultValue;
    record.isRangeAutoControl = isRangeAutoControl.defaultValue;
    record.qualityLevel = qualityLevel.defaultValue;
    record.screenWidth = resolutionWidth(screen.defaultValue);
    record.screenHeight = resolutionHeight(screen.defaultValue);
    record.isFullScreen = isFullScreen.defaultValue;
    record.gammaValue = gammaValue.defaultValue;
    return record;
}

std::span<const Setting::PlacementDefault> Setting::placementDefaults() {
    using S = Setting;
#define DRAVIK_PLACEMENT(name)                                                                     \
    { #name, &S::name }
    static const PlacementDefault kPlacements[] = {
        DRAVIK_PLACEMENT(lobbyPersonDirectionalLight_intensity_default),
        DRAVIK_PLACEMENT(lobbyPersonDirectionalLight_localEulerAngle_x_default),
        DRAVIK_PLACEMENT(lobbyPersonDirectionalLight_localEulerAngle_y_default),
        DRAVIK_PLACEMENT(lobbyPersonDirectionalLight_localEulerAngle_z_default),
        DRAVIK_PLACEMENT(personDirectionalLight_intensity_default),
        DRAVIK_PLACEMENT(personDirectionalLight_localEulerAngle_x_default),
        DRAVIK_PLACEMENT(personDirectionalLight_localEulerAngle_y_default),
        DRAVIK_PLACEMENT(personDirectionalLight_localEulerAngle_z_default),
        DRAVIK_PLACEMENT(hall192Position_x_default),
        DRAVIK_PLACEMENT(hall192Position_y_default),
        DRAVIK_PLACEMENT(hall192Position_z_default),
        DRAVIK_PLACEMENT(hall64Position_x_default),
        DRAVIK_PLACEMENT(hall64Position_y_default),
        DRAVIK_PLACEMENT(hall64Position_z_default),
        DRAVIK_PLACEMENT(hall8Position_x_default),
        DRAVIK_PLACEMENT(hall8Position_y_default),
        DRAVIK_PLACEMENT(hall8Position_z_default),
        DRAVIK_PLACEMENT(hall192Angle_x_default),
        DRAVIK_PLACEMENT(hall192Angle_y_default),
        DRAVIK_PLACEMENT(hall192Angle_z_default),
        DRAVIK_PLACEMENT(hall64Angle_x_default),
        DRAVIK_PLACEMENT(hall64Angle_y_default),
        DRAVIK_PLACEMENT(hall64Angle_z_default),
        DRAVIK_PLACEMENT(hall8Angle_x_default),
        DRAVIK_PLACEMENT(hall8Angle_y_default),
        DRAVIK_PLACEMENT(hall8Angle_z_default),
    };
#undef DRAVIK_PLACEMENT
    return kPlacements;
}

namespace {

int32_t resolutionPart(std::string_view text, size_t index) {
    size_t start = 0;
    for (size_t i = 0; i < index; ++i) {
        size_t x = text.find('x', start);
        if (x == std::string_view::npos)
            return 0;
        start = x + 1;
    }
    std::string_view part = text.substr(start, text.find('x', start) - start);
    auto value = Setting::parseInteger(part);
    if (!value || *value < std::numeric_limits<int32_t>::min() ||
        *value > std::numeric_limits<int32_t>::max())
        return 0;
    return static_cast<int32_t>(*value);
}

} // namespace

int32_t resolutionWidth(std::string_view text) {
    return resolutionPart(text, 0);
}

int32_t resolutionHeight(std::string_view text) {
    return resolutionPart(text, 1);
}

} // namespace dravik
