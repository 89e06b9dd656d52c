#pragma once

#include <string>
#include <vector>

namespace dravik {

class RunningApplications;
class Launcher;

// Counts the running applications named name or name + ".app" (exact, case-sensitive).
int countRunningApplications(RunningApplications& applications, const std::string& name);

// The process entry up to the application loop. A start without TargetPath= is the visitor's
// starter: it copies the bundle into the private folder, starts the copy with the base folder and
// waits until the copy has removed the marker file. The copy checks its base folder and the
// running viewer and then goes on to the window.
class Startup {
public:
    enum class Outcome { RunApplication, Exit };

    Startup(Launcher& launcher, std::vector<std::string> arguments);

    Outcome run();

    static std::string baseFolderFrom(const std::vector<std::string>& arguments);

private:
    Outcome runStarter();
    Outcome runPrivateCopy();
    Outcome refuse(const std::string& text);
    void waitForStartedCopy(const std::string& markerPath);
    void loadMessageTable();

    Launcher& m_launcher;
    std::vector<std::string> m_arguments;
    std::string m_markerPath;
};

} // namespace dravik
