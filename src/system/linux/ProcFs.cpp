#include "system/linux/ProcFs.h"

#include "common/File.h"

#include <sstream>
#include <unistd.h>

namespace dravik::procfs {

namespace {

std::string procPath(pid_t pid, const char* entry) {
    return "/proc/" + std::to_string(pid) + "/" + entry;
}

// The entry's text, read close-on-exec; empty when it cannot be read.
std::string procText(pid_t pid, const char* entry) {
    Expected<std::string> text = File::readAll(procPath(pid, entry));
    return text ? std::move(*text) : std::string();
}

} // namespace

std::string processName(pid_t pid) {
    // comm is cut at 15 characters, so the executable's own name comes first.
    char target[4096];
    std::string link = procPath(pid, "exe");
    ssize_t length = readlink(link.c_str(), target, sizeof target - 1);
    if (length > 0) {
        std::string path(target, static_cast<size_t>(length));
        const std::string deleted = " (deleted)";
        if (path.size() > deleted.size() &&
            path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0)
            path.resize(path.size() - deleted.size());
        return path.substr(path.rfind('/') + 1);
    }
    std::istringstream comm(procText(pid, "comm"));
    std::string name;
    std::getline(comm, name);
    return name;
}

bool isAlive(pid_t pid) {
    std::istringstream stat(procText(pid, "stat"));
    std::string content;
    std::getline(stat, content);
    // The state follows the command name, which is in parentheses and may hold anything.
    auto close = content.rfind(')');
    if (close == std::string::npos || close + 2 >= content.size())
        return false;
    char state = content[close + 2];
    return state != 'Z' && state != 'X';
}

std::optional<uid_t> realUserId(pid_t pid) {
    std::istringstream status(procText(pid, "status"));
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Uid:", 0) != 0)
            continue;
        std::istringstream fields(line.substr(4));
        long uid = -1;
        if (fields >> uid && uid >= 0)
            return static_cast<uid_t>(uid);
        return std::nullopt;
    }
    return std::nullopt;
}

} // namespace dravik::procfs
