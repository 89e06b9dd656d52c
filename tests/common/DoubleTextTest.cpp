#include "common/DoubleText.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <version>
#if defined(__cpp_lib_to_chars)
#include <charconv>
#endif

namespace dravik {
namespace {

TEST(DoubleText, ShortestTextsThatReadBackAsTheSameValue) {
    struct Case {
        double value;
        const char* fixed;
        const char* scientific;
    };
    const Case cases[] = {
        {0.0, "0", "0e+00"},
        {-0.0, "-0", "-0e+00"},
        {0.1, "0.1", "1e-01"},
        {-0.00015, "-0.00015", "-1.5e-04"},
        {123456.789, "123456.789", "1.23456789e+05"},
        {1e20, "100000000000000000000", "1e+20"},
        {1.0 / 3, "0.3333333333333333", "3.333333333333333e-01"},
        {5e-324, nullptr, "5e-324"},
        {std::ldexp(1.0, -1000), nullptr, "9.332636185032189e-302"},
        {1.7976931348623157e308, nullptr, "1.7976931348623157e+308"},
    };
    for (const Case& c : cases) {
        if (c.fixed) {
            EXPECT_EQ(shortestFixedText(c.value), c.fixed) << c.scientific;
        }
        EXPECT_EQ(shortestScientificText(c.value), c.scientific);
    }
}

#if defined(__cpp_lib_to_chars)
// Where the standard library has the shortest round trip, the texts are its texts: every power of
// two (where the neighbours are unevenly spaced) and random values over the whole range.
TEST(DoubleText, SameTextsAsTheStandardLibrary) {
    auto expectSame = [](double value) {
        char buffer[400];
        auto fixed = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
        ASSERT_EQ(shortestFixedText(value), std::string(buffer, fixed.ptr));
        auto scientific =
            std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
        ASSERT_EQ(shortestScientificText(value), std::string(buffer, scientific.ptr));
    };
    for (int power = -1074; power <= 1023; ++power)
        expectSame(std::ldexp(1.0, power));
    std::mt19937_64 random(16);
    for (int i = 0; i < 20000; ++i) {
        double value = 0;
        do {
            uint64_t bits = random();
            std::memcpy(&value, &bits, sizeof value);
        } while (!std::isfinite(value));
        expectSame(value);
    }
}
#endif

} // namespace
} // namespace dravik
