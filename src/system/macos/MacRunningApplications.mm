#include "system/macos/MacRunningApplications.h"

#import <AppKit/AppKit.h>
#include <libproc.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dravik {

std::vector<std::string> MacRunningApplications::names() {
    std::vector<std::string> names;
    @autoreleasepool {
        for (NSRunningApplication* application in NSWorkspace.sharedWorkspace.runningApplications) {
            const char* name = application.localizedName.UTF8String;
            if (application.terminated || name == nullptr)
                continue;
            names.emplace_back(name);
        }
    }
    return names;
}

std::vector<int> MacRunningApplications::processesRunning(const std::string& executablePath) {
    std::vector<int> found;
    struct stat wanted {};
    if (::stat(executablePath.c_str(), &wanted) != 0)
        return found;
    // proc_listpids answers the bytes it needs, then fills the buffer.
    int needed = proc_listpids(PROC_UID_ONLY, ::getuid(), nullptr, 0);
    if (needed <= 0)
        return found;
    std::vector<pid_t> pids(static_cast<size_t>(needed) / sizeof(pid_t) + 32);
    int filled = proc_listpids(PROC_UID_ONLY, ::getuid(), pids.data(),
                               static_cast<int>(pids.size() * sizeof(pid_t)));
    for (int i = 0; i < filled / static_cast<int>(sizeof(pid_t)); ++i) {
        char path[PROC_PIDPATHINFO_MAXSIZE];
        struct stat running {};
        if (pids[i] > 0 && proc_pidpath(pids[i], path, sizeof path) > 0 &&
            ::stat(path, &running) == 0 && running.st_dev == wanted.st_dev &&
            running.st_ino == wanted.st_ino)
            found.push_back(static_cast<int>(pids[i]));
    }
    return found;
}

} // namespace dravik
