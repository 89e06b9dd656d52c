#pragma once

// Test helpers that each operating system provides in its own way; one definition per system.

#include <cstdint>
#include <string>
#include <sys/types.h>

namespace dravik::test {

// As root, makes the file-permission checks those of uid until called again with 0 (on Linux
// for the calling thread only); does nothing for other users.
void useFileSystemUser(uid_t uid);

// The id of a running process started from this executable path, -1 when there is none.
pid_t processOfExecutable(const std::string& executable);

// The resident memory of this process in bytes; 0 when it cannot be read.
int64_t residentBytes();

} // namespace dravik::test
