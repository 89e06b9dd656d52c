#pragma once

// The viewer's operation parameters as stored in Exhibition/FPSControllerParameter.json. The field
// names are the JSON keys. Reading and the patching write live in ParameterFile.h; the definition
// defaults come from Setting::defaultParameters().

#include <cstdint>
#include <optional>
#include <string>

namespace dravik {

struct QZ_FPSControllerParameter {
    double rotateSpeed_mouse = 0;
    double rotateSpeed_arrow = 0;
    double moveSpeed_pc = 0;
    double moveSpeed_wheel = 0;
    double dashMoveSpeedRate = 0;
    double cameraPitchUpperLimit = 0;
    double cameraPitchUnderLimit = 0;
    double mouseSmoothingRate = 0;
    double optionRotateSpeedRate = 0;
    double optionMoveSpeedRate = 0;
    double optionEnvironmentRate = 0;
    double optionBGMRate = 0;
    std::string optionBGMName;
    double showroomBGMRate = 0;
    std::string showroomBGMName;
    double boothRangeUnderLimit = 0;
    double boothObjectRangeUnderLimit = 0;
    std::optional<bool> isRangeAutoControl; // absent or null in the file: empty
    double boothRange = 0;
    double boothObjectRange = 0;
    int32_t qualityLevel = 0;
    int32_t screenWidth = 0;
    int32_t screenHeight = 0;
    std::optional<bool> isFullScreen; // absent or null in the file: empty
    double dataValidTime = 0;
    double sendRecordTime = 0;
    double gammaValue = 0;
};

} // namespace dravik
