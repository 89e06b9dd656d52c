#pragma once

#include <functional>

namespace dravik {

// Background workers of default priority.
class Workers {
public:
    virtual ~Workers() = default;

    virtual void run(std::function<void()> work) = 0;
};

} // namespace dravik
