#include "parameters/NumericParameter.h"

#include "parameters/QZ_FPSControllerParameter.h"
#include "parameters/Setting.h"

namespace dravik {

std::span<const NumericParameter> NumericParameter::all() {
    // clang-format off
#define DRAVIK_NUMERIC_ROW(name, caption, lower, upper, point, defaultValue) \
    {#name, caption, lower, upper, point, defaultValue, &Setting::name, \
     &QZ_FPSControllerParameter::name},
    // clang-format on
    static const NumericParameter kParameters[] = {DRAVIK_NUMERIC_PARAMETERS(DRAVIK_NUMERIC_ROW)};
#undef DRAVIK_NUMERIC_ROW
    return kParameters;
}

} // namespace dravik
