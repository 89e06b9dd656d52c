#include "update/InstallProgress.h"

namespace dravik {

ProgressTick InstallProgress::tick(int& percentage) {
    if (percentage >= kDone)
        return {ProgressStep::Finish, kDone};
    if (percentage <= kLimit)
        return {ProgressStep::Show, percentage++};
    return {ProgressStep::Wait, percentage};
}

} // namespace dravik
