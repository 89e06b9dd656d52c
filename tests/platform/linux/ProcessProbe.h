#pragma once

// Processes for the platform tests: copies of a small program under the names to look for,
// started and ended by the test.

#include "support/Fakes.h"

#include <csignal>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <string_view>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace dravik::test {

// Started processes are killed and reaped when the probe ends.
class ProcessProbe {
public:
    // Asked to end first, so that an X server removes its lock and socket files; killed when it
    // has not ended within a second.
    ~ProcessProbe() {
        for (pid_t pid : m_started) {
            ::kill(pid, SIGTERM);
            for (int poll = 0; poll < 100 && ::waitpid(pid, nullptr, WNOHANG) == 0; ++poll)
                ::usleep(10000);
            if (::kill(pid, SIGKILL) == 0)
                ::waitpid(pid, nullptr, 0);
        }
    }

    // A copy of sleep named name, in a folder every user may enter.
    std::string program(const std::string& name) {
        namespace fs = std::filesystem;
        fs::permissions(m_temp.path(), fs::perms(0755));
        std::string path = m_temp / name;
        fs::copy_file("/bin/sleep", path, fs::copy_options::overwrite_existing);
        fs::permissions(path, fs::perms(0755));
        return path;
    }

    // Starts program with arguments and environment entries added to ours; -1 when it fails.
    pid_t start(const std::string& program, std::vector<std::string> args = {"60"},
                const std::vector<std::string>& extraEnvironment = {}) {
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (auto& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        std::vector<std::string> environment(extraEnvironment);
        for (char** entry = environ; *entry; ++entry) {
            std::string_view text(*entry);
            bool replaced = false;
            for (const auto& extra : extraEnvironment)
                replaced |=
                    text.substr(0, text.find('=') + 1) == extra.substr(0, extra.find('=') + 1);
            if (!replaced)
                environment.emplace_back(text);
        }
        std::vector<char*> envp;
        for (auto& entry : environment)
            envp.push_back(entry.data());
        envp.push_back(nullptr);
        pid_t pid = -1;
        if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), envp.data()) != 0)
            return -1;
        m_started.push_back(pid);
        return pid;
    }

    // As root: starts program in a child that has become user uid first.
    pid_t startAsUser(const std::string& program, uid_t uid) {
        pid_t pid = fork();
        if (pid == 0) {
            if (setgid(uid) != 0 || setuid(uid) != 0)
                _exit(126);
            execl(program.c_str(), program.c_str(), "60", static_cast<char*>(nullptr));
            _exit(127);
        }
        m_started.push_back(pid);
        return pid;
    }

private:
    TempFolder m_temp;
    std::vector<pid_t> m_started;
};

} // namespace dravik::test
