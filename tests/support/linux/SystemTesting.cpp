#include "support/SystemTesting.h"

#include <filesystem>
#include <fstream>
#include <sys/fsuid.h>
#include <unistd.h>

namespace dravik::test {

void useFileSystemUser(uid_t uid) {
    if (geteuid() == 0)
        setfsuid(uid);
}

pid_t processOfExecutable(const std::string& executable) {
    namespace fs = std::filesystem;
    std::error_code error;
    for (auto it = fs::directory_iterator("/proc", error); !error && it != fs::directory_iterator();
         it.increment(error)) {
        std::error_code linkError;
        auto target = fs::read_symlink(it->path() / "exe", linkError);
        if (!linkError && target == executable)
            return static_cast<pid_t>(std::stol(it->path().filename().string()));
    }
    return -1;
}

int64_t residentBytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stoll(line.substr(6)) * 1024;
    }
    return 0;
}

} // namespace dravik::test
