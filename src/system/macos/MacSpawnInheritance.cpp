#include "system/SpawnInheritance.h"

#include <unistd.h>

namespace dravik {

// Every descriptor is closed in the child unless it is inherited by name.
int SpawnInheritance::restrict(short& flags, posix_spawn_file_actions_t& actions,
                               const std::vector<int>& kept) {
    flags |= POSIX_SPAWN_CLOEXEC_DEFAULT;
    for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        if (int rc = posix_spawn_file_actions_addinherit_np(&actions, fd); rc != 0)
            return rc;
    }
    for (int fd : kept) {
        if (int rc = posix_spawn_file_actions_addinherit_np(&actions, fd); rc != 0)
            return rc;
    }
    return 0;
}

} // namespace dravik
