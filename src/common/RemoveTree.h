#pragma once

#include <string>
#include <system_error>

namespace dravik {

// Removes the item at path (a symbolic link itself, not what it points to) with everything below
// it, and stops at the first entry that cannot be removed, with the system's reason for that
// entry. std::filesystem::remove_all of libc++ (the macOS library) reports only that a folder was
// left non-empty, so the reason would differ between systems.
std::error_code removeTree(const std::string& path);

} // namespace dravik
