#pragma once

#include <string>
#include <vector>

namespace dravik {

// The applications the current user runs.
class RunningApplications {
public:
    virtual ~RunningApplications() = default;

    // The name of each running application of this user, one entry per process; processes of
    // other users and processes that have ended are not listed.
    virtual std::vector<std::string> names() = 0;

    // The process ids of this user's running processes whose executable is the file at path
    // (the same file, whatever path leads to it); empty when nothing runs it.
    virtual std::vector<int> processesRunning(const std::string& executablePath) = 0;
};

} // namespace dravik
