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

Status Setting::loadNumeric(const char* name, SettingNumericUpDown& definition, const char* caption,
                            const char* lower, const char* upper, const char* point,
                            const char* defaultValue) {
    std::string n(name);
    definition.caption = getSettingValue(n + "_caption", caption);
    auto lowerValue = getSettingDouble(n + "_lower", lower);
    if (!lowerValue)
        return Error{lowerValue.error()};
    definition.lower = *lowerValue;
    auto upperValue = getSettingDouble(n + "_upper", upper);
    if (!upperValue)
        return Error{upperValue.error()};
    definition.upper = *upperValue;
    auto pointValue = getSettingInt(n + "_point", point);
    if (!pointValue)
        return Error{pointValue.error()};
    definition.point = *pointValue;
    auto value = getSettingDouble(n + "_default", defaultValue);
    if (!value)
        return Error{value.error()};
    definition.defaultValue = *value;
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

    struct Numeric {
        SettingNumericUpDown Setting::*definition;
        const char* name;
        const char* caption;
        const char* lower;
        const char* upper;
        const char* point;
        const char* defaultValue;
    };
    auto numeric = [this](const Numeric& row) {
        return loadNumeric(row.name, this->*row.definition, row.caption, row.lower, row.upper,
                           row.point, row.defaultValue);
    };
    static const Numeric kFirst[] = {
        {&Setting::rotateSpeed_mouse, "rotateSpeed_mouse", "マウスの反応速度(向き)", "1", "50", "0",
         "20"},
        {&Setting::rotateSpeed_arrow, "rotateSpeed_arrow", "矢印キーの反応速度(向き)", "1", "50",
         "0", "40"},
        {&Setting::moveSpeed_pc, "moveSpeed_pc", "歩く速さ[↑]", "0.1", "2", "1", "1"},
        {&Setting::moveSpeed_wheel, "moveSpeed_wheel", "マウスホイールで進む距離の調整", "1", "3",
         "1", "2"},
        {&Setting::dashMoveSpeedRate, "dashMoveSpeedRate", "走る速さ[Shift]+[↑]操作時の速度", "1.1",
         "2.5", "1", "2"},
        {&Setting::cameraPitchUpperLimit, "cameraPitchUpperLimit", "上向きの上限角度", "10", "90",
         "0", "20"},
        {&Setting::cameraPitchUnderLimit, "cameraPitchUnderLimit", "下向きの下限角度", "-90", "-10",
         "0", "-30"},
        {&Setting::mouseSmoothingRate, "mouseSmoothingRate", "マウススムージングの掛かり具合",
         "-100", "100", "2", "0.5"},
        {&Setting::optionRotateSpeedRate, "optionRotateSpeedRate", "回転速度倍率", "1.0", "1.0",
         "1", "1.0"},
        {&Setting::optionMoveSpeedRate, "optionMoveSpeedRate", "移動速度倍率", "1.0", "1.0", "1",
         "1.0"},
        {&Setting::optionEnvironmentRate, "optionEnvironmentRate", "足音や選択時の環境音の大きさ",
         "-80", "20", "0", "-30"},
        {&Setting::optionBGMRate, "optionBGMRate", "会場の雰囲気BGM音量", "0", "1", "2", "0.5"},
    };
    for (const auto& row : kFirst)
        if (Status status = numeric(row); !status)
            return status;
    loadString("optionBGMName", optionBGMName, "BGMファイル名（雑踏感など）", "Exhibition_hall");
    if (Status status = numeric({&Setting::showroomBGMRate, "showroomBGMRate",
                                 "ショールームのBGM音量", "0", "1", "2", "0.5"});
        !status)
        return status;
    loadString("showroomBGMName", showroomBGMName, "ショールームのBGMファイル名", "CelticMusic");
    static const Numeric kRanges[] = {
        {&Setting::boothRangeUnderLimit, "boothRangeUnderLimit", "ブース表示範囲の下限", "0", "200",
         "0", "0"},
        {&Setting::boothObjectRangeUnderLimit, "boothObjectRangeUnderLimit",
         "ブースオブジェクト表示範囲の下限", "0", "200", "0", "0"},
        {&Setting::boothRange, "boothRange", "ブース表示範囲", "0", "200", "0", "50"},
        {&Setting::boothObjectRange, "boothObjectRange", "ブースオブジェクト表示範囲", "0", "200",
         "0", "30"},
    };
    for (const auto& row : kRanges)
        if (Status status = numeric(row); !status)
            return status;

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

    static const Numeric kTimes[] = {
        {&Setting::dataValidTime, "dataValidTime", "会場データの保持時間(分)", "0", "720", "0",
         "120"},
        {&Setting::sendRecordTime, "sendRecordTime", "行動履歴のアップロード間隔(秒)", "10", "3600",
         "0", "60"},
    };
    for (const auto& row : kTimes)
        if (Status status = numeric(row); !status)
            return status;

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
    for (const auto& parameter : numericParameters())
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

std::span<const Setting::NumericParameter> Setting::numericParameters() {
    using S = Setting;
    using P = QZ_FPSControllerParameter;
    static const NumericParameter kParameters[] = {
        {"rotateSpeed_mouse", &S::rotateSpeed_mouse, &P::rotateSpeed_mouse},
        {"rotateSpeed_arrow", &S::rotateSpeed_arrow, &P::rotateSpeed_arrow},
        {"moveSpeed_pc", &S::moveSpeed_pc, &P::moveSpeed_pc},
        {"moveSpeed_wheel", &S::moveSpeed_wheel, &P::moveSpeed_wheel},
        {"dashMoveSpeedRate", &S::dashMoveSpeedRate, &P::dashMoveSpeedRate},
        {"cameraPitchUpperLimit", &S::cameraPitchUpperLimit, &P::cameraPitchUpperLimit},
        {"cameraPitchUnderLimit", &S::cameraPitchUnderLimit, &P::cameraPitchUnderLimit},
        {"mouseSmoothingRate", &S::mouseSmoothingRate, &P::mouseSmoothingRate},
        {"optionRotateSpeedRate", &S::optionRotateSpeedRate, &P::optionRotateSpeedRate},
        {"optionMoveSpeedRate", &S::optionMoveSpeedRate, &P::optionMoveSpeedRate},
        {"optionEnvironmentRate", &S::optionEnvironmentRate, &P::optionEnvironmentRate},
        {"optionBGMRate", &S::optionBGMRate, &P::optionBGMRate},
        {"showroomBGMRate", &S::showroomBGMRate, &P::showroomBGMRate},
        {"boothRangeUnderLimit", &S::boothRangeUnderLimit, &P::boothRangeUnderLimit},
        {"boothObjectRangeUnderLimit", &S::boothObjectRangeUnderLimit,
         &P::boothObjectRangeUnderLimit},
        {"boothRange", &S::boothRange, &P::boothRange},
        {"boothObjectRange", &S::boothObjectRange, &P::boothObjectRange},
        {"dataValidTime", &S::dataValidTime, &P::dataValidTime},
        {"sendRecordTime", &S::sendRecordTime, &P::sendRecordTime},
    };
    return kParameters;
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
