#pragma once

#include <spawn.h>
#include <vector>

namespace dravik {

// What a started program inherits: standard input, output and error, and the descriptors it is
// meant to get, nothing else (not the launcher's connections, pipes or files, whatever their
// close-on-exec flag says). One definition per system.
class SpawnInheritance {
public:
    // Adds to the spawn's flags and file actions what closes every other descriptor in the child.
    // A kept descriptor may reach the child under another number. Zero, or an error number.
    static int restrict(short& flags, posix_spawn_file_actions_t& actions,
                        const std::vector<int>& kept);
};

} // namespace dravik
