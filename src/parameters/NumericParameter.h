#pragma once

#include "parameters/NumericParameterTable.h"

#include <span>

namespace dravik {

class Setting;
struct SettingNumericUpDown;
struct QZ_FPSControllerParameter;

// One row of DRAVIK_NUMERIC_PARAMETERS as data: what the definitions, the parameter file and the
// editor need to know of a numeric parameter.
struct NumericParameter {
    const char* name;
    // The built-in definition, as text (read like a value of the definitions file).
    const char* caption;
    const char* lower;
    const char* upper;
    const char* point;
    const char* defaultValue;
    SettingNumericUpDown Setting::*definition;
    double QZ_FPSControllerParameter::*value;

    // The 19 parameters in table order.
    static std::span<const NumericParameter> all();
};

} // namespace dravik
