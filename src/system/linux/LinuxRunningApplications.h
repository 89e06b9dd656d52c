#pragma once

#include "platform/RunningApplications.h"

namespace dravik {

// The processes in /proc whose real user is ours, named by their executables.
class LinuxRunningApplications : public RunningApplications {
public:
    std::vector<std::string> names() override;
    std::vector<int> processesRunning(const std::string& executablePath) override;
};

} // namespace dravik
