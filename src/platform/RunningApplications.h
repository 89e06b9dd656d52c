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
};

} // namespace dravik
