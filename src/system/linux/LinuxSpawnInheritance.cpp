#include "system/SpawnInheritance.h"

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <memory>
#include <unistd.h>

namespace dravik {

namespace {

constexpr int kFirstFree = STDERR_FILENO + 1;

#if !(__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
// Without a close-range action: one close action for every descriptor open now from first on.
int closeFrom(posix_spawn_file_actions_t& actions, int first) {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir("/proc/self/fd"), ::closedir);
    if (!dir)
        return 0;
    int own = ::dirfd(dir.get());
    while (dirent* entry = ::readdir(dir.get())) {
        int fd = std::atoi(entry->d_name);
        if (entry->d_name[0] >= '0' && entry->d_name[0] <= '9' && fd >= first && fd != own) {
            if (int rc = posix_spawn_file_actions_addclose(&actions, fd); rc != 0)
                return rc;
        }
    }
    return 0;
}
#else
int closeFrom(posix_spawn_file_actions_t& actions, int first) {
    return posix_spawn_file_actions_addclosefrom_np(&actions, first);
}
#endif

} // namespace

// The kept descriptors move to 3, 4, ... (through numbers above all of them, so that none is
// overwritten before it has moved), and everything from the first number after them is closed.
int SpawnInheritance::restrict(short&, posix_spawn_file_actions_t& actions,
                               const std::vector<int>& kept) {
    const int count = static_cast<int>(kept.size());
    int above = kFirstFree + count;
    for (int fd : kept)
        above = std::max(above, fd + 1);
    for (int i = 0; i < count; ++i) {
        if (int rc = posix_spawn_file_actions_adddup2(&actions, kept[i], above + i); rc != 0)
            return rc;
    }
    for (int i = 0; i < count; ++i) {
        if (int rc = posix_spawn_file_actions_adddup2(&actions, above + i, kFirstFree + i); rc != 0)
            return rc;
    }
    return closeFrom(actions, kFirstFree + count);
}

} // namespace dravik
