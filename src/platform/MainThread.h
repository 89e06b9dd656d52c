#pragma once

#include <functional>

namespace dravik {

// Runs work on the thread that owns every window and control.
class MainThread {
public:
    virtual ~MainThread() = default;

    virtual bool isCurrent() const = 0;
    // Queues the work and returns at once.
    virtual void post(std::function<void()> work) = 0;
    // Runs the work on the main thread and returns when it has finished; on the main thread itself
    // the work runs directly.
    virtual void postAndWait(std::function<void()> work) = 0;
};

} // namespace dravik
