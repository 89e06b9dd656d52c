#include "system/linux/LinuxBundlePlacement.h"

#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

namespace dravik {

StartPlace LinuxBundlePlacement::check(const std::string& bundlePath) {
    const std::string base = std::filesystem::path(bundlePath).parent_path().string();
    // The effective (file-system) user's rights, as every later write gets them; a read-only
    // mount answers EROFS, an immutable folder EPERM, a foreign one EACCES.
    if (::faccessat(AT_FDCWD, base.c_str(), W_OK | X_OK, AT_EACCESS) == 0)
        return StartPlace::Usable;
    return StartPlace::ReadOnly;
}

} // namespace dravik
