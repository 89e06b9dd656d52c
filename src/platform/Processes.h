#pragma once

#include <functional>
#include <string>
#include <vector>

namespace dravik {

struct ProcessResult {
    bool started = false;
    int exitStatus = -1; // the exit status, or 128 + signal when the process was killed
    std::string error;   // why it could not be started
};

// Programs are always started with an argument vector, never through a shell command text.
class Processes {
public:
    virtual ~Processes() = default;

    // Starts the program and waits until it exits. Its standard input is /dev/null, so a program
    // that would ask a question fails at once instead of waiting; workingFolder, when given, is
    // the folder it runs in.
    virtual ProcessResult run(const std::string& program, const std::vector<std::string>& args,
                              const std::string& workingFolder = {}) = 0;
    // Starts the program as an independent process that outlives the launcher. onExit, when set,
    // is called on a watcher thread when the process ends. Empty error on success.
    virtual std::string startDetached(const std::string& program,
                                      const std::vector<std::string>& args,
                                      std::function<void()> onExit = {}) = 0;
};

} // namespace dravik
