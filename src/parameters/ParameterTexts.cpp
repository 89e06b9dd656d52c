#include "parameters/ParameterTexts.h"

#include "common/DoubleText.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace dravik {

namespace {

constexpr int64_t kMaxPoint = 17; // more places than a double holds

int clampPoint(int64_t point) {
    return static_cast<int>(std::clamp<int64_t>(point, 0, kMaxPoint));
}

std::optional<int32_t> parseInt32(std::string_view text) {
    auto value = Setting::parseInteger(text);
    if (!value || *value < std::numeric_limits<int32_t>::min() ||
        *value > std::numeric_limits<int32_t>::max())
        return std::nullopt;
    return static_cast<int32_t>(*value);
}

} // namespace

std::string ParameterTexts::formatFixed(double value, int64_t point) {
    // %f of the largest double needs 309 digits before the point.
    char buffer[400];
    int length = std::snprintf(buffer, sizeof buffer, "%0.*f", clampPoint(point), value);
    if (length < 0)
        return {};
    return std::string(buffer, std::min<size_t>(static_cast<size_t>(length), sizeof buffer - 1));
}

bool ParameterTexts::isFixed(const SettingNumericUpDown& definition) {
    return definition.lower == definition.upper;
}

std::string ParameterTexts::numericCaption(const SettingNumericUpDown& definition) {
    std::string lower = formatFixed(definition.lower, definition.point);
    if (isFixed(definition))
        return definition.caption + "[" + lower + "固定]";
    return definition.caption + "[" + lower + "〜" +
           formatFixed(definition.upper, definition.point) + "]";
}

double ParameterTexts::stepIncrement(int64_t point) {
    return 1.0 / std::pow(10.0, clampPoint(point));
}

std::string ParameterTexts::shortestText(double value) {
    if (!std::isfinite(value))
        return std::isnan(value) ? "nan" : value < 0 ? "-inf" : "inf";
    double magnitude = std::fabs(value);
    bool fixed = magnitude == 0 || (magnitude >= 1e-4 && magnitude < 1e16);
    std::string text = fixed ? shortestFixedText(value) : shortestScientificText(value);
    if (fixed && text.find('.') == std::string::npos)
        text += ".0";
    return text;
}

std::string ParameterTexts::currentValueText(double value) {
    return "(" + shortestText(value) + ")";
}

std::vector<std::string> ParameterTexts::gammaItems() {
    return {"1.4 暗い", "1.2 少し暗い", "1.0 標準", "0.8 少し明るい", "0.6 明るい"};
}

int ParameterTexts::gammaIndex(double gammaValue) {
    double index = 7 - std::round(gammaValue * 10 * 0.5);
    if (std::isnan(index))
        return 0;
    return static_cast<int>(std::clamp(index, 0.0, 4.0));
}

std::optional<double> ParameterTexts::gammaFromItem(std::string_view item) {
    size_t blank = item.find_first_of(" \t");
    return Setting::parseDouble(item.substr(0, blank));
}

std::vector<std::string> ParameterTexts::qualityItems(int32_t defaultLevel) {
    std::vector<std::string> items = {"0:とても低い", "1:低い",       "2:中程度",
                                      "3:高い",       "4:とても高い", "5:最高"};
    items[static_cast<size_t>(std::clamp(defaultLevel, 0, 5))] += kStandardMark;
    return items;
}

std::vector<std::string> ParameterTexts::resolutionItems(const SettingScreen& screen) {
    std::vector<std::string> items;
    for (const auto& value : screen.values)
        items.push_back(value == screen.defaultValue ? value + std::string(kStandardMark) : value);
    items.emplace_back(kOthers);
    return items;
}

int ParameterTexts::resolutionIndex(const SettingScreen& screen, int32_t width, int32_t height) {
    std::string key = std::to_string(width) + "x" + std::to_string(height);
    auto found = std::find(screen.values.begin(), screen.values.end(), key);
    return static_cast<int>(found - screen.values.begin()); // "others" when not found
}

std::optional<std::pair<int32_t, int32_t>>
ParameterTexts::resolutionFromItem(std::string_view item) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    while (true) {
        size_t end = item.find_first_of("x()", start);
        parts.push_back(item.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos)
            break;
        start = end + 1;
    }
    if (parts.size() < 2)
        return std::nullopt;
    auto width = parseInt32(parts[0]);
    auto height = parseInt32(parts[1]);
    if (!width || !height)
        return std::nullopt;
    return std::make_pair(*width, *height);
}

std::optional<std::string> ParameterTexts::roundedFieldText(std::string_view text, int64_t point) {
    auto value = Setting::parseDouble(text);
    if (!value)
        return std::nullopt;
    return formatFixed(*value, point);
}

} // namespace dravik
