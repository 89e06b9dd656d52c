#pragma once

#include "platform/MainThread.h"

namespace dravik {

// Posts work into the Qt application's event loop.
class QtMainThread : public MainThread {
public:
    bool isCurrent() const override;
    void post(std::function<void()> work) override;
    void postAndWait(std::function<void()> work) override;
};

} // namespace dravik
