#include "system/linux/LinuxBackgroundActivity.h"

namespace dravik {

std::unique_ptr<BackgroundActivity::Hold> LinuxBackgroundActivity::begin(const std::string&) {
    return std::make_unique<Hold>();
}

} // namespace dravik
