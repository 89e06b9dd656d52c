#pragma once

#include <string>
#include <vector>

namespace dravik {

// The single-instance lock: an exclusive lock on a file in the private folder, held by the one
// launcher that goes on to the window. The starter takes it and its private copy inherits the
// open descriptor, so from the starter's decision to the copy's end no other start can take it;
// it is released when the last holder ends.
class InstanceLock {
public:
    enum class State {
        Held,        // this process holds it
        Busy,        // another launcher holds it
        Unavailable, // the lock file cannot be opened (no private folder)
    };

    explicit InstanceLock(std::string path) : m_path(std::move(path)) {}
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // The starter: takes the lock without waiting. Programs started afterwards inherit it.
    State acquire();
    // The private copy: keeps the lock inherited from its starter, or takes it when it was
    // started otherwise. Programs it starts (the viewer) do not inherit it.
    State adopt();
    // The descriptor a program started by the starter inherits: the held lock, else none.
    std::vector<int> inheritable() const;

private:
    int inheritedDescriptor() const;

    std::string m_path;
    int m_fd = -1;
};

} // namespace dravik
