#include "common/File.h"

#include "common/Diagnostics.h"
#include "common/RemoveTree.h"
#include "common/Unicode.h"
#include "platform/Alerts.h"
#include "platform/FileFlags.h"
#include "platform/Processes.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace dravik {

namespace fs = std::filesystem;

namespace {

// Linux names the modification time st_mtim, macOS st_mtimespec.
template <typename Stat> const timespec& modificationTime(const Stat& info) {
    if constexpr (requires { info.st_mtim; })
        return info.st_mtim;
    else
        return info.st_mtimespec;
}

// A failed file-tree operation prints its description; the run log never hears of it.
Status failure(const std::string& description) {
    printDiagnostic(description);
    return fail(description);
}

Status report(const std::error_code& error) {
    if (!error)
        return Status::ok();
    return failure(error.message());
}

Status refusedOntoItself(const std::string& source, const std::string& destination) {
    return failure("refused: " + destination + " is " + source + " itself or lies inside it");
}

// The item a chain of symbolic links ends at, so that a linked file is replaced where it lies and
// the link stays.
std::string followLinks(const std::string& path) {
    fs::path current(path);
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code error;
        if (!fs::is_symlink(fs::symlink_status(current, error)))
            break;
        fs::path target = fs::read_symlink(current, error);
        if (error)
            break;
        current = target.is_absolute() ? target : current.parent_path() / target;
    }
    return current.string();
}

std::string siblingName(const std::string& path, const char* purpose) {
    return File::temporaryName(path, purpose);
}

#ifdef F_FULLFSYNC
// The drive's cache is emptied too; not every file system supports it.
int fullSync(int fd) {
    return ::fcntl(fd, F_FULLFSYNC) == 0 ? 0 : ::fsync(fd);
}
#else
int fullSync(int fd) {
    return ::fsync(fd);
}
#endif

int syncPath(const std::string& path, int kind) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | kind);
    if (fd < 0)
        return errno == ELOOP ? 0 : errno; // a link has nothing of its own to write
    int code = ::fsync(fd) == 0 ? 0 : errno;
    ::close(fd);
    return code == EINVAL ? 0 : code; // a file system without syncing (some FUSE ones)
}

// A new file beside the target, created exclusively with the default access (the umask applies).
int createTemporary(const std::string& target, std::string& temporary) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = siblingName(target, "tmp");
        int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

// 0 when every byte was written, else the error number.
int writeFully(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        done += static_cast<size_t>(written);
    }
    return 0;
}

// True when both name the same item (by identity, not by text), or when the destination lies
// inside the source folder: such a copy would read what it writes.
bool copiesOntoItself(const std::string& source, const std::string& destination) {
    std::error_code error;
    if (fs::equivalent(source, destination, error))
        return true;
    fs::path from = fs::canonical(source, error);
    if (error)
        return false;
    fs::path to = fs::weakly_canonical(destination, error);
    if (error)
        return false;
    return std::mismatch(from.begin(), from.end(), to.begin(), to.end()).first == from.end();
}

} // namespace

bool File::exists(const std::string& path) {
    std::error_code error;
    return fs::exists(path, error);
}

bool File::isPresent(const std::string& path) {
    std::error_code error;
    return fs::exists(fs::symlink_status(path, error));
}

bool File::isFolder(const std::string& path) {
    std::error_code error;
    return fs::is_directory(path, error);
}

std::string File::join(const std::string& folder, const std::string& name) {
    if (folder.empty())
        return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::string File::temporaryName(const std::string& path, const char* purpose) {
    static std::atomic<unsigned> counter{0};
    fs::path item(path);
    return (item.parent_path() / ("." + item.filename().string() + "." + purpose + "-" +
                                  std::to_string(getpid()) + "-" + std::to_string(counter++)))
        .string();
}

std::string File::unusedDatedName(const std::string& folder, const std::string& prefix) {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    const std::string name = join(folder, prefix + stamp);
    std::string candidate = name;
    for (int n = 2; isPresent(candidate); ++n)
        candidate = name + "-" + std::to_string(n);
    return candidate;
}

Status File::flushToDisk(int fd) {
    if (fullSync(fd) != 0)
        return fail(std::strerror(errno));
    return Status::ok();
}

void File::syncFolder(const std::string& folder) {
    syncPath(folder.empty() ? "." : folder, O_DIRECTORY);
}

Status File::syncTree(const std::string& path) {
    std::error_code error;
    fs::file_status status = fs::symlink_status(path, error);
    if (error)
        return fail(path + ": " + error.message());
    if (fs::is_directory(status)) {
        for (fs::recursive_directory_iterator it(path, error), end; !error && it != end;
             it.increment(error)) {
            fs::file_type type = it->symlink_status(error).type();
            if (type != fs::file_type::regular && type != fs::file_type::directory)
                continue;
            if (int code = syncPath(it->path().string(), 0))
                return fail(it->path().string() + ": " + std::strerror(code));
        }
        if (error)
            return fail(path + ": " + error.message());
    }
    if (int code = syncPath(path, 0))
        return fail(path + ": " + std::strerror(code));
    return Status::ok();
}

Expected<std::string> File::readAll(const std::string& path) {
    // Plain descriptors, without a stream's buffer and locale.
    auto failed = [](int code) {
        return fail(std::strerror(code));
    };
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return failed(errno);
    struct stat info {};
    if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        int code = S_ISDIR(info.st_mode) ? EISDIR : errno;
        ::close(fd);
        return failed(code);
    }
    std::string data;
    // The size is a hint only: a file may grow meanwhile, and some report none.
    data.resize(static_cast<size_t>(std::max<off_t>(info.st_size, 0)) + 1);
    size_t filled = 0;
    for (;;) {
        if (filled == data.size())
            data.resize(data.size() * 2);
        ssize_t got = ::read(fd, data.data() + filled, data.size() - filled);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            int code = errno;
            ::close(fd);
            return failed(code);
        }
        if (got == 0)
            break;
        filled += static_cast<size_t>(got);
    }
    ::close(fd);
    data.resize(filled);
    return data;
}

Status File::writeAll(const std::string& path, const std::string& bytes) {
    // Opened close-on-exec, so no program started meanwhile holds the file.
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    std::FILE* out = fd < 0 ? nullptr : ::fdopen(fd, "wb");
    if (!out) {
        int savedErrno = errno;
        if (fd >= 0)
            ::close(fd);
        return fail(std::strerror(savedErrno));
    }
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    int savedErrno = errno;
    ok = (std::fclose(out) == 0) && ok;
    if (!ok)
        return fail(std::strerror(savedErrno ? savedErrno : errno));
    return Status::ok();
}

Status File::writeAtomically(const std::string& path, const std::string& bytes,
                             Durability durability) {
    auto failed = [](int code) {
        return Status(fail(std::strerror(code)));
    };
    const std::string target = followLinks(path);
    struct stat old {};
    const bool replacing = ::stat(target.c_str(), &old) == 0;
    if (replacing && S_ISDIR(old.st_mode))
        return failed(EISDIR); // a folder is never replaced by a file

    std::string temporary;
    int fd = createTemporary(target, temporary);
    if (fd < 0)
        return failed(errno);
    int code = writeFully(fd, bytes);
    if (!code && replacing) {
        // The replacement keeps the old file's access; the owner only where we may set it.
        if (::fchmod(fd, old.st_mode & 07777) != 0)
            code = errno;
        else if (::fchown(fd, old.st_uid, old.st_gid) != 0 && errno != EPERM)
            code = errno;
    }
    if (!code && durability == Durability::Now && ::fsync(fd) != 0)
        code = errno;
    if (::close(fd) != 0 && !code)
        code = errno;
    if (!code && ::rename(temporary.c_str(), target.c_str()) != 0)
        code = errno;
    if (code) {
        ::unlink(temporary.c_str());
        return failed(code);
    }
    if (durability == Durability::Now)
        syncFolder(fs::path(target).parent_path().string()); // best effort: the rename is done
    return Status::ok();
}

Status File::createFolder(const std::string& path) const {
    std::error_code error;
    if (fs::is_directory(path, error))
        return Status::ok();
    fs::create_directories(path, error);
    if (!error && fs::is_directory(path))
        return Status::ok();
    std::string description =
        error ? error.message() : std::string(std::strerror(EEXIST)); // a file stands there
    m_alerts.critical(path + " - " + description);
    return failure(description);
}

Status File::removePath(const std::string& path) const {
    std::error_code error;
    if (!fs::exists(fs::symlink_status(path, error)))
        return failure(std::strerror(ENOENT));
    return report(removeTree(path));
}

Status File::copyPath(const std::string& source, const std::string& destination) const {
    if (copiesOntoItself(source, destination))
        return refusedOntoItself(source, destination);
    std::error_code error;
    if (!fs::exists(source, error))
        return failure(std::strerror(ENOENT));
    const std::string parent = fs::path(destination).parent_path().string();
    if (!parent.empty() && !isFolder(parent)) {
        if (Status created = createFolder(parent); !created)
            return created;
    }
    // The copy is made beside the destination and only then put in its place, so a copy that
    // fails (disk full, an unreadable file) leaves the old item as it was.
    const std::string copy = siblingName(destination, "copy");
    if (Status copied = m_flags.copyTree(source, copy); !copied) {
        std::error_code ignored;
        fs::remove_all(copy, ignored);
        return failure(copied.error());
    }
    return replaceWith(copy, destination);
}

Status File::replaceWith(const std::string& replacement, const std::string& destination) {
    std::error_code error;
    fs::file_status old = fs::symlink_status(destination, error);
    if (!fs::exists(old) || (!fs::is_directory(old) && !fs::is_directory(replacement))) {
        fs::rename(replacement, destination, error); // a file replaces a file in one step
    } else {
        const std::string aside = siblingName(destination, "old");
        fs::rename(destination, aside, error);
        if (!error) {
            fs::rename(replacement, destination, error);
            std::error_code ignored;
            if (error)
                fs::rename(aside, destination, ignored);
            else
                fs::remove_all(aside, ignored);
        }
    }
    if (error) {
        std::error_code ignored;
        fs::remove_all(replacement, ignored);
    }
    return report(error);
}

Status File::movePath(const std::string& source, const std::string& destination) const {
    std::error_code error;
    if (fs::exists(fs::symlink_status(destination, error)))
        return failure(std::strerror(EEXIST));
    fs::rename(source, destination, error);
    return report(error);
}

std::vector<std::string> File::listFolder(const std::string& path) const {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(path, error), end; !error && it != end; it.increment(error))
        names.push_back(it->path().filename().string());
    if (error) {
        printDiagnostic(error.message());
        return {};
    }
    return names;
}

Status File::clearImmutableFlag(const std::string& path) const {
    Status cleared = m_flags.setImmutable(path, false);
    if (!cleared)
        printDiagnostic(cleared.error());
    return cleared;
}

Status File::removeUnlocked(const std::string& path) const {
    std::error_code error = removeTree(path);
    if (!error)
        return Status::ok();
    // Unlock the whole tree, then try once more.
    auto unlock = [&](const std::string& item) {
        if (m_flags.isImmutable(item))
            (void)m_flags.setImmutable(item, false);
    };
    unlock(path);
    std::error_code walk;
    for (fs::recursive_directory_iterator it(path, walk), end; !walk && it != end;
         it.increment(walk))
        if (!it->is_symlink(walk))
            unlock(it->path().string());
    error = removeTree(path);
    if (error)
        return fail(path + ": " + error.message());
    return Status::ok();
}

Status File::copyFolderTree(const std::string& source, const std::string& destination) const {
    std::error_code error;
    fs::recursive_directory_iterator it(source, error);
    if (error) {
        if (error == std::errc::no_such_file_or_directory)
            return Status::ok(); // nothing to copy
        return report(error);
    }
    if (copiesOntoItself(source, destination))
        return refusedOntoItself(source, destination);
    if (!isFolder(destination)) {
        if (Status created = createFolder(destination); !created)
            return created;
    }
    for (fs::recursive_directory_iterator end; it != end; it.increment(error)) {
        std::string relative = it->path().lexically_relative(source).string();
        std::string from = join(source, relative), to = join(destination, relative);
        if (isFolder(from)) {
            if (!exists(to)) {
                if (Status created = createFolder(to); !created)
                    return created;
            }
            continue;
        }
        // A lock that stays makes the copy below fail and say why.
        if (exists(to))
            (void)clearImmutableFlag(to);
        if (Status copied = copyPath(from, to); !copied)
            return copied;
    }
    // A sub-folder that cannot be read ends the walk early: that is a failure, not a copy.
    return report(error);
}

Status File::makeExecutable(const std::string& path) const {
    // Only a chmod that cannot be started counts as a failure; its exit status is not looked at.
    Expected<int> exitStatus = m_processes.run("chmod", {"+x", path});
    if (!exitStatus)
        return failure(exitStatus.error());
    return Status::ok();
}

void File::deleteArchives(const std::string& folder) const {
    for (const std::string& name : listFolder(folder)) {
        size_t dot = name.rfind('.');
        std::string extension = dot == std::string::npos ? "" : asciiLower(name.substr(dot + 1));
        if (extension == "7z" || extension == "zip")
            (void)removePath(join(folder, name)); // printed; tried again after the next update
    }
}

FileAttributes File::readFileAttributes(const std::string& path) const {
    FileAttributes attributes;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        printDiagnostic(std::strerror(errno));
        return attributes;
    }
    attributes.mLastModified = std::chrono::system_clock::time_point(
        std::chrono::seconds(modificationTime(info).tv_sec) +
        std::chrono::duration_cast<std::chrono::system_clock::duration>(
            std::chrono::nanoseconds(modificationTime(info).tv_nsec)));
    attributes.mSize = static_cast<uint64_t>(info.st_size);
    return attributes;
}

} // namespace dravik
