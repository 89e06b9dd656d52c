#pragma once

#include <string>

namespace dravik {

// The shortest text that reads back as exactly the same double, in fixed ("0.00015", "1234"; a
// whole number with all its digits) or scientific ("1.5e-04", "1e+20") notation: what
// std::to_chars gives for a finite value, made from snprintf and strtod, so that the texts are the
// same on every system and C++ library.
std::string shortestFixedText(double value);
std::string shortestScientificText(double value);

} // namespace dravik
