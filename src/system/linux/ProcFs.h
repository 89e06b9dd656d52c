#pragma once

#include <optional>
#include <string>
#include <sys/types.h>

namespace dravik::procfs {

// The file name of the process's executable (its command name when that cannot be read); empty
// when there is no such process.
std::string processName(pid_t pid);

// False for a process that has ended but was not reaped yet, and for one that does not exist.
bool isAlive(pid_t pid);

// The real user id of the process, when it can be read.
std::optional<uid_t> realUserId(pid_t pid);

} // namespace dravik::procfs
