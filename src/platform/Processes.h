#pragma once

#include "base/Expected.h"

#include <functional>
#include <string>
#include <vector>

namespace dravik {

// Programs are always started with an argument vector, never through a shell command text. A
// started program gets standard input, output and error and nothing else the launcher holds,
// unless it is named.
class Processes {
public:
    virtual ~Processes() = default;

    // Starts the program and waits until it exits. Its standard input is /dev/null, so a program
    // that would ask a question fails at once instead of waiting; workingFolder, when given, is
    // the folder it runs in. The value is the exit status, or 128 + signal when the process was
    // killed; the error says why it could not be started.
    virtual Expected<int> run(const std::string& program, const std::vector<std::string>& args,
                              const std::string& workingFolder = {}) = 0;
    // Starts the program as an independent process that outlives the launcher. onExit, when set,
    // is called on a watcher thread when the process ends. inherited: descriptors the program is
    // meant to get (the instance lock for the private copy), perhaps under other numbers.
    virtual Status startDetached(const std::string& program, const std::vector<std::string>& args,
                                 std::function<void()> onExit = {},
                                 const std::vector<int>& inherited = {}) = 0;
};

} // namespace dravik
