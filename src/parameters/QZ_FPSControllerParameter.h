#pragma once

// The viewer's operation parameters as stored in Exhibition/FPSControllerParameter.json. The field
// names are the JSON keys; the numeric ones come from the table in NumericParameterTable.h. Reading
// and the patching write live in ParameterFile.h; the definition defaults come from
// Setting::defaultParameters().

#include "parameters/NumericParameterTable.h"

#include <cstdint>
#include <optional>
#include <string>

namespace dravik {

struct QZ_FPSControllerParameter {
    // rotateSpeed_mouse … sendRecordTime, one double per row of the table.
#define DRAVIK_RECORD_MEMBER(name, ...) double name = 0;
    DRAVIK_NUMERIC_PARAMETERS(DRAVIK_RECORD_MEMBER)
#undef DRAVIK_RECORD_MEMBER
    std::string optionBGMName;
    std::string showroomBGMName;
    std::optional<bool> isRangeAutoControl; // absent or null in the file: empty
    int32_t qualityLevel = 0;
    int32_t screenWidth = 0;
    int32_t screenHeight = 0;
    std::optional<bool> isFullScreen; // absent or null in the file: empty
    double gammaValue = 0;
};

} // namespace dravik
