#include "common/RunLog.h"

#include "common/Diagnostics.h"
#include "common/PrivateFolder.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dravik {

std::string RunLog::formatLine(const std::string& text) {
    using namespace std::chrono;
    auto now = system_clock::now();
    std::time_t seconds = system_clock::to_time_t(now);
    auto millis = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%04d/%02d/%02d %02d:%02d:%02d.%03d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<int>(millis));
    return "[" + std::string(stamp) + "](id:" + std::to_string(getpid()) + ")" + text + "\n";
}

void RunLog::write(const std::string& text) const {
    if (m_path.empty())
        return;
    struct stat info {};
    bool tooLarge =
        ::lstat(m_path.c_str(), &info) == 0 && static_cast<uint64_t>(info.st_size) > kSizeLimit;
    int fd = PrivateFolder::openOwnFile(m_path,
                                        O_WRONLY | O_CREAT | O_APPEND | (tooLarge ? O_TRUNC : 0));
    if (fd < 0)
        return;
    // The log holds the visitor's inputs; a log from before this rule is made owner-only too.
    PrivateFolder::restrictToOwner(fd);
    // One write per entry, so lines of two processes appending at once are never split.
    std::string line = formatLine(text);
    ssize_t written = ::write(fd, line.data(), line.size());
    (void)written;
    if (::close(fd) != 0)
        printDiagnostic(std::strerror(errno));
}

} // namespace dravik
