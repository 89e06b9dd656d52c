#include "app/InstanceLock.h"

#include "common/PrivateFolder.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dravik {

namespace {

constexpr long kHighestDescriptorScanned = 4096;

InstanceLock::State lockWithoutWaiting(int fd) {
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EINTR)
            return errno == EWOULDBLOCK ? InstanceLock::State::Busy
                                        : InstanceLock::State::Unavailable;
    }
    return InstanceLock::State::Held;
}

void closeOnExec(int fd) {
    int flags = ::fcntl(fd, F_GETFD);
    if (flags >= 0)
        ::fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
}

} // namespace

InstanceLock::~InstanceLock() {
    if (m_fd >= 0)
        ::close(m_fd);
}

InstanceLock::State InstanceLock::acquire() {
    if (m_fd >= 0)
        return State::Held;
    int fd = PrivateFolder::openOwnFile(m_path, O_RDWR | O_CREAT);
    if (fd < 0)
        return State::Unavailable;
    // Deliberately inheritable: the private copy the starter starts keeps the lock.
    if (int flags = ::fcntl(fd, F_GETFD); flags >= 0)
        ::fcntl(fd, F_SETFD, flags & ~FD_CLOEXEC);
    PrivateFolder::restrictToOwner(fd);
    State state = lockWithoutWaiting(fd);
    if (state == State::Held)
        m_fd = fd;
    else
        ::close(fd);
    return state;
}

InstanceLock::State InstanceLock::adopt() {
    if (int inherited = inheritedDescriptor(); inherited >= 0) {
        // Locking again through the same open file succeeds only when it holds the lock.
        State state = lockWithoutWaiting(inherited);
        closeOnExec(inherited);
        if (state == State::Held)
            m_fd = inherited;
        return state;
    }
    State state = acquire();
    if (state == State::Held)
        closeOnExec(m_fd);
    return state;
}

std::vector<int> InstanceLock::inheritable() const {
    if (m_fd < 0)
        return {};
    return {m_fd};
}

// A descriptor, opened before this program started, on the lock file itself (same device and
// inode, whatever path it was opened by).
int InstanceLock::inheritedDescriptor() const {
    struct stat lockFile {};
    if (::lstat(m_path.c_str(), &lockFile) != 0 || !S_ISREG(lockFile.st_mode))
        return -1;
    long limit = ::sysconf(_SC_OPEN_MAX);
    long highest =
        limit < 0 ? kHighestDescriptorScanned : std::min(limit, kHighestDescriptorScanned);
    for (int fd = 3; fd < highest; ++fd) {
        struct stat open {};
        if (fd != m_fd && ::fstat(fd, &open) == 0 && open.st_dev == lockFile.st_dev &&
            open.st_ino == lockFile.st_ino)
            return fd;
    }
    return -1;
}

} // namespace dravik
