#include "system/posix/PosixProcesses.h"

#include "system/SpawnInheritance.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace dravik {

namespace {

std::vector<char*> argumentVector(const std::string& program,
                                  const std::vector<std::string>& args) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    return argv;
}

struct SpawnSetup {
    bool newSession = false;
    bool quietInput = false;   // standard input from /dev/null
    std::string workingFolder; // empty: the launcher's own
    std::vector<int> inherited;
};

int spawn(pid_t& pid, const std::string& program, const std::vector<std::string>& args,
          const SpawnSetup& setup) {
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // The viewer and the private copy outlive us: they get a session of their own, so a signal to
    // our process group does not reach them.
    short flags = setup.newSession ? POSIX_SPAWN_SETSID : 0;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    int rc = SpawnInheritance::restrict(flags, actions, setup.inherited);
    if (rc == 0 && setup.quietInput)
        rc = posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (rc == 0 && !setup.workingFolder.empty())
        rc = posix_spawn_file_actions_addchdir_np(&actions, setup.workingFolder.c_str());
    if (rc == 0)
        rc = posix_spawnattr_setflags(&attributes, flags);
    auto argv = argumentVector(program, args);
    if (rc == 0)
        rc = posix_spawnp(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    return rc;
}

int waitForExit(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace

Expected<int> PosixProcesses::run(const std::string& program, const std::vector<std::string>& args,
                                  const std::string& workingFolder) {
    pid_t pid = 0;
    int rc = spawn(pid, program, args, {false, true, workingFolder, {}});
    if (rc != 0) {
        // posix_spawnp reports a missing program through the child's exit status 127 on glibc,
        // or here with ENOENT on others.
        return fail(std::strerror(rc));
    }
    return waitForExit(pid);
}

Status PosixProcesses::startDetached(const std::string& program,
                                     const std::vector<std::string>& args,
                                     std::function<void()> onExit,
                                     const std::vector<int>& inherited) {
    pid_t pid = 0;
    int rc = spawn(pid, program, args, {true, false, {}, inherited});
    if (rc != 0)
        return fail(std::strerror(rc));
    // Reap the child and report its end from a watcher thread of its own.
    std::thread([pid, onExit = std::move(onExit)] {
        waitForExit(pid);
        if (onExit)
            onExit();
    }).detach();
    return Status::ok();
}

} // namespace dravik
