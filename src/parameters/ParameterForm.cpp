#include "parameters/ParameterForm.h"

#include "common/LauncherSettings.h"
#include "common/Unicode.h"
#include "parameters/NumericParameter.h"
#include "parameters/ParameterTexts.h"
#include "parameters/Setting.h"

#include <algorithm>
#include <limits>

namespace dravik {

namespace {

const char* const kSplashFiles[] = {"Splash.gif", "showroom.png"};

std::optional<int32_t> parseInt32(std::string_view text) {
    auto value = Setting::parseInteger(text);
    if (!value || *value < std::numeric_limits<int32_t>::min() ||
        *value > std::numeric_limits<int32_t>::max())
        return std::nullopt;
    return static_cast<int32_t>(*value);
}

std::string refusalMessage(const std::string& caption, const std::string& range) {
    return caption + "\n\n" + range + "の範囲の数値を入力してください。";
}

bool withinSize(const std::string& text) {
    auto value = parseInt32(text);
    return value && *value >= ParameterForm::kMinScreenSize &&
           *value <= ParameterForm::kMaxScreenSize;
}

} // namespace

std::string ParameterForm::fieldText(double value, int64_t point) {
    std::string text = ParameterTexts::formatFixed(value, point);
    if (Setting::parseDouble(text) != value)
        text = ParameterTexts::shortestText(value);
    return text;
}

ParameterForm::CurrentValues ParameterForm::currentValues(const QZ_FPSControllerParameter& record) {
    CurrentValues labels;
    for (const auto& parameter : NumericParameter::all())
        labels.numbers.push_back(ParameterTexts::currentValueText(record.*parameter.value));
    labels.optionBGMName = "(" + record.optionBGMName + ")";
    labels.showroomBGMName = "(" + record.showroomBGMName + ")";
    labels.gammaValue = ParameterTexts::currentValueText(record.gammaValue);
    labels.qualityLevel = "(" + std::to_string(record.qualityLevel) + ")";
    labels.resolution =
        "(" + std::to_string(record.screenWidth) + "x" + std::to_string(record.screenHeight) + ")";
    return labels;
}

ParameterForm::CurrentValues ParameterForm::noCurrentValues() {
    std::string none(ParameterTexts::kNoCurrentValue);
    return {std::vector<std::string>(NumericParameter::all().size(), none),
            none,
            none,
            none,
            none,
            none};
}

int ParameterForm::qualityIndex(int32_t level) {
    int last = static_cast<int>(ParameterTexts::qualityItems(0).size()) - 1;
    return std::clamp(level, 0, last);
}

bool ParameterForm::showsFreeSize(std::string_view resolutionItem) {
    return resolutionItem == ParameterTexts::kOthers;
}

ParameterForm::Choice ParameterForm::splashChoice(const std::string& stored) {
    Choice choice{{std::begin(kSplashFiles), std::end(kSplashFiles)}, 0};
    auto found = std::find(choice.items.begin(), choice.items.end(), stored);
    if (found == choice.items.end() && !stored.empty())
        found = choice.items.insert(found, stored);
    if (found != choice.items.end())
        choice.selected = static_cast<int>(found - choice.items.begin());
    return choice;
}

const std::vector<std::string>& ParameterForm::lobbyItems() {
    static const std::vector<std::string> kItems = {"自動", "表示する", "表示しない"};
    return kItems;
}

int ParameterForm::lobbyIndex(std::string_view stored) {
    std::string choice = asciiUpper(stored);
    return choice == "ON" ? 1 : choice == "OFF" ? 2 : 0;
}

bool ParameterForm::updateChecked(std::string_view stored) {
    return asciiUpper(stored) != "OFF";
}

std::optional<ParameterForm::Refusal> ParameterForm::check(const Entries& entries) const {
    auto parameters = NumericParameter::all();
    for (size_t i = 0; i < parameters.size() && i < entries.numbers.size(); ++i) {
        const SettingNumericUpDown& definition = m_definitions.*parameters[i].definition;
        if (ParameterTexts::isFixed(definition))
            continue;
        auto value = Setting::parseDouble(entries.numbers[i].text);
        if (value && *value >= definition.lower && *value <= definition.upper)
            continue;
        std::string range = ParameterTexts::formatFixed(definition.lower, definition.point) + "〜" +
                            ParameterTexts::formatFixed(definition.upper, definition.point);
        return Refusal{Refusal::Field::Number, i, refusalMessage(definition.caption, range)};
    }
    if (!showsFreeSize(entries.resolutionItem))
        return std::nullopt;
    std::string range = std::to_string(kMinScreenSize) + "〜" + std::to_string(kMaxScreenSize);
    if (!withinSize(entries.screenWidth.text))
        return Refusal{Refusal::Field::ScreenWidth, 0,
                       refusalMessage(m_definitions.screen.caption, range)};
    if (!withinSize(entries.screenHeight.text))
        return Refusal{Refusal::Field::ScreenHeight, 0,
                       refusalMessage(m_definitions.screen.caption, range)};
    return std::nullopt;
}

QZ_FPSControllerParameter ParameterForm::record(const Entries& entries) const {
    QZ_FPSControllerParameter values;
    auto parameters = NumericParameter::all();
    for (size_t i = 0; i < parameters.size() && i < entries.numbers.size(); ++i) {
        const NumberEntry& entry = entries.numbers[i];
        values.*parameters[i].value = Setting::parseDouble(entry.text).value_or(entry.stepper);
    }
    values.optionBGMName = entries.optionBGMName.value_or("");
    values.showroomBGMName = entries.showroomBGMName.value_or("");
    values.gammaValue = ParameterTexts::gammaFromItem(entries.gammaItem.value_or(""))
                            .value_or(m_definitions.gammaValue.defaultValue);
    values.qualityLevel = std::max(0, entries.qualityIndex);
    values.screenWidth = parseInt32(entries.screenWidth.text).value_or(entries.screenWidth.stepper);
    values.screenHeight =
        parseInt32(entries.screenHeight.text).value_or(entries.screenHeight.stepper);
    values.isRangeAutoControl = entries.isRangeAutoControl;
    values.isFullScreen = entries.isFullScreen;
    return values;
}

void ParameterForm::saveLauncherSettings(const LauncherSettings& settings, const Entries& entries) {
    settings.writeLauncherSetting("update", entries.update ? "ON" : "OFF");
    settings.writeLauncherSetting("Splash_file", entries.splashFile);
    settings.writeLauncherSetting("LobbyDisplay", entries.lobbyIndex == 2   ? "OFF"
                                                  : entries.lobbyIndex == 1 ? "ON"
                                                                            : "AUTO");
    settings.writeLauncherSetting("entry_url", entries.entryUrl);
}

} // namespace dravik
