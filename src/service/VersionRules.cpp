#include "service/VersionRules.h"

#include <string>
#include <vector>

namespace dravik {

namespace {

std::vector<std::string_view> splitAtDots(std::string_view text) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    while (true) {
        size_t dot = text.find('.', start);
        if (dot == std::string_view::npos) {
            parts.push_back(text.substr(start));
            return parts;
        }
        parts.push_back(text.substr(start, dot - start));
        start = dot + 1;
    }
}

// A decimal integer of any size: an optional sign and its digits without leading zeros.
struct Number {
    bool negative = false;
    std::string_view digits; // empty for zero
};

bool parseNumber(std::string_view text, Number& number) {
    number = Number{};
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        number.negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty())
        return false;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    size_t firstNonZero = text.find_first_not_of('0');
    number.digits =
        firstNonZero == std::string_view::npos ? std::string_view() : text.substr(firstNonZero);
    if (number.digits.empty())
        number.negative = false;
    return true;
}

// -1, 0 or 1.
int compare(const Number& a, const Number& b) {
    if (a.negative != b.negative)
        return a.negative ? -1 : 1;
    int magnitude = 0;
    if (a.digits.size() != b.digits.size())
        magnitude = a.digits.size() < b.digits.size() ? -1 : 1;
    else if (a.digits != b.digits)
        magnitude = a.digits < b.digits ? -1 : 1;
    return a.negative ? -magnitude : magnitude;
}

Number partOrZero(const std::vector<std::string_view>& parts, size_t index) {
    Number number;
    if (index >= parts.size() || !parseNumber(parts[index], number))
        return Number{};
    return number;
}

} // namespace

bool isUnknownVersion(const QZ_VERSION& version) {
    for (std::string_view part : splitAtDots(version.version)) {
        Number number;
        if (!parseNumber(part, number) || !number.digits.empty())
            return false;
    }
    return true;
}

bool isNewer(const QZ_VERSION& remote, const QZ_VERSION& local) {
    auto remoteParts = splitAtDots(remote.version);
    auto localParts = splitAtDots(local.version);
    for (size_t i = 0; i < 4; ++i) {
        int order = compare(partOrZero(remoteParts, i), partOrZero(localParts, i));
        if (order != 0)
            return order > 0;
    }
    return false;
}

bool isNotInstalledMarker(const QZ_VERSION& version) {
    return version.version == kNotInstalledVersion;
}

} // namespace dravik
