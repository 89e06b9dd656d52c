#pragma once

#include "base/Expected.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace dravik {

class Alerts;
class FileFlags;
class Processes;

struct FileAttributes {
    std::chrono::system_clock::time_point mLastModified{}; // the Unix epoch when unknown
    uint64_t mSize = 0;
};

// Synchronous file-tree operations on absolute paths. Each returns its failure with the error
// description, which it also prints on standard output (never in the run log), and never throws.
// Only createFolder tells the visitor (through an alert). None reports a partial result as success:
// copyPath copies beside the destination and replaces it only when the copy is whole, copies create
// missing parent folders, and a copy of an item onto itself (by identity) is refused.
class File {
public:
    File(Alerts& alerts, FileFlags& flags, Processes& processes)
        : m_alerts(alerts), m_flags(flags), m_processes(processes) {}

    Status createFolder(const std::string& path) const;
    Status removePath(const std::string& path) const;
    Status copyPath(const std::string& source, const std::string& destination) const;
    Status movePath(const std::string& source, const std::string& destination) const;
    std::vector<std::string> listFolder(const std::string& path) const;
    Status clearImmutableFlag(const std::string& path) const;
    // Removes the item with everything below it; locked items in it (the immutable flag) are
    // unlocked when they are in the way. Prints nothing.
    Status removeUnlocked(const std::string& path) const;
    Status copyFolderTree(const std::string& source, const std::string& destination) const;
    // Fails only when chmod cannot be started.
    Status makeExecutable(const std::string& path) const;
    void deleteArchives(const std::string& folder) const;
    FileAttributes readFileAttributes(const std::string& path) const;

    // Plain existence test that follows links; true for files and folders alike.
    static bool exists(const std::string& path);
    // Whether anything stands at the path itself, a link (even a dangling one) included.
    static bool isPresent(const std::string& path);
    static bool isFolder(const std::string& path);
    // Whole-file read and write; these print nothing.
    static Expected<std::string> readAll(const std::string& path);
    static Status writeAll(const std::string& path, const std::string& bytes);
    // Replaces the file in one step: the bytes go to a new temporary file beside it, which is
    // flushed to the disk and renamed over the old file, keeping its permission bits. Any failure
    // (a full disk, a read-only folder) removes the temporary file and leaves the old file as it
    // was. A symbolic link is followed and stays; a folder at the path is refused.
    // With Durability::Later nothing is flushed: the caller puts a barrier after the rename
    // (DiskSync), and until then a power cut may leave the old file or none.
    enum class Durability { Now, Later };
    static Status writeAtomically(const std::string& path, const std::string& bytes,
                                  Durability durability = Durability::Now);
    static std::string join(const std::string& folder, const std::string& name);

    // The hidden name beside path that an operation in progress writes to:
    // ".<file name>.<purpose>-<process id>-<counter>", unique within this process. Leftovers
    // reads the same form back after a kill.
    static std::string temporaryName(const std::string& path, const char* purpose);
    // Writes the file or every file and folder of the tree to the disk.
    static Status syncTree(const std::string& path);
    // Writes the open file to the disk, and to the medium itself where the system can (a plain
    // fsync may leave it in the drive's cache there).
    static Status flushToDisk(int fd);
    static void syncFolder(const std::string& folder);
    // <folder>/<prefix><yyyyMMdd-HHmmss> in local time, with "-2", "-3", ... added while something
    // stands there: a name to set an item aside under.
    static std::string unusedDatedName(const std::string& folder, const std::string& prefix);

private:
    // Puts replacement (beside destination) in destination's place, the old item removed only
    // when the new one is there; the replacement is removed when that fails.
    static Status replaceWith(const std::string& replacement, const std::string& destination);

    Alerts& m_alerts;
    FileFlags& m_flags;
    Processes& m_processes;
};

} // namespace dravik
