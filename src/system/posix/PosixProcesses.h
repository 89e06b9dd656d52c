#pragma once

#include "platform/Processes.h"

namespace dravik {

// posix_spawn with an argument vector; a program name without "/" is looked up in PATH.
class PosixProcesses : public Processes {
public:
    Expected<int> run(const std::string& program, const std::vector<std::string>& args,
                      const std::string& workingFolder = {}) override;
    Status startDetached(const std::string& program, const std::vector<std::string>& args,
                         std::function<void()> onExit, const std::vector<int>& inherited) override;
};

} // namespace dravik
