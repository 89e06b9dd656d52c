#include "common/DoubleText.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace dravik {

namespace {

// A finite double as sign, significant digits and the power of ten of the first digit.
struct Decimal {
    bool negative = false;
    std::string digits;
    int exponent = 0;
};

// Adds one to the last digit of a printf %e text, in place; false when the first digit would
// carry over.
bool incrementLastDigit(char* text) {
    char* digit = std::strchr(text, 'e');
    while (digit-- != text) {
        if (*digit < '0' || *digit > '9')
            continue; // the decimal point
        if (*digit != '9') {
            ++*digit;
            return true;
        }
        *digit = '0';
    }
    return false;
}

// Whether the %e text at this precision reads back as the value. The correctly rounded text is
// the nearest one with these many digits; at a power of two the values below lie twice as close,
// so when that text falls short, the next one away from zero may still read back as the value.
bool readsBack(char* buffer, size_t size, int precision, double value) {
    std::snprintf(buffer, size, "%.*e", precision, value);
    double back = std::strtod(buffer, nullptr);
    if (back == value)
        return true;
    return std::fabs(back) < std::fabs(value) && incrementLastDigit(buffer) &&
           std::strtod(buffer, nullptr) == value;
}

// The fewest significant digits that still read back as the same value (a double never needs
// more than 17). printf and strtod follow the C locale's decimal point, which may not be "."
// once a toolkit has set the user's locale, so only the digits and the exponent are taken over.
Decimal shortestDecimal(double value) {
    char buffer[64];
    for (int precision = 0; precision <= 16; ++precision)
        if (readsBack(buffer, sizeof buffer, precision, value))
            break;
    Decimal decimal;
    const char* at = buffer;
    if (*at == '-') {
        decimal.negative = true;
        ++at;
    }
    for (; *at != '\0' && *at != 'e'; ++at)
        if (*at >= '0' && *at <= '9')
            decimal.digits += *at;
    if (*at == 'e')
        decimal.exponent = std::atoi(at + 1);
    return decimal;
}

} // namespace

std::string shortestScientificText(double value) {
    const Decimal decimal = shortestDecimal(value);
    std::string text = decimal.negative ? "-" : "";
    text += decimal.digits.substr(0, 1);
    if (decimal.digits.size() > 1)
        text += "." + decimal.digits.substr(1);
    const int magnitude = decimal.exponent < 0 ? -decimal.exponent : decimal.exponent;
    text += decimal.exponent < 0 ? "e-" : "e+";
    if (magnitude < 10)
        text += '0';
    return text + std::to_string(magnitude);
}

std::string shortestFixedText(double value) {
    const Decimal decimal = shortestDecimal(value);
    const std::string& digits = decimal.digits;
    std::string text = decimal.negative ? "-" : "";
    const int before = decimal.exponent + 1; // digits before the point
    if (before <= 0)
        return text + "0." + std::string(static_cast<size_t>(-before), '0') + digits;
    const auto whole = static_cast<size_t>(before);
    if (whole >= digits.size()) {
        // A whole number: all its digits, as exact as the value (1e23 is 99999999999999991611392).
        char buffer[400];
        std::snprintf(buffer, sizeof buffer, "%.0f", value);
        return buffer;
    }
    return text + digits.substr(0, whole) + "." + digits.substr(whole);
}

} // namespace dravik
