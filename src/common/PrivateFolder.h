#pragma once

#include "base/Expected.h"

#include <string>

namespace dravik {

// The per-user private folder and the files in it that hold the token or the visitor's inputs:
// only their owner may read them.
class PrivateFolder {
public:
    // Creates the folder owner-only (missing parents with the default mode). Fails with
    // "<path> - <description>" when it cannot be created. An existing folder is left to secure().
    static Status create(const std::string& path);

    // Refuses a folder, also one reached through a symbolic link, that is not a folder of the
    // current user; makes one of ours owner-only when others may enter it.
    static Status secure(const std::string& path);

    // Replaces the file's content; the file is owner-only, also when it existed before. A symbolic
    // link in the file's place is not followed.
    static Status writeFile(const std::string& path, const std::string& bytes);

    // Opens a file of the private folder (the run log, the lock, the marker) without following a
    // symbolic link: a link in its place is removed, with a line on standard output, and the
    // file is made anew. O_NOFOLLOW and O_CLOEXEC are added to flags; -1 with errno on failure.
    static int openOwnFile(const std::string& path, int flags);

    // Makes an open file owner-only when others may read it.
    static void restrictToOwner(int fd);
};

} // namespace dravik
