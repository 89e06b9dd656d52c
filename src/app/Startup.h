#pragma once

#include "app/InstanceLock.h"

#include <string>
#include <vector>

namespace dravik {

class Alerts;
class BundlePlacement;
class RunningApplications;
class Launcher;

// Counts the running applications named name or name + ".app" (exact, case-sensitive).
int countRunningApplications(RunningApplications& applications, const std::string& name);

// The visitor's start (no TargetPath=) from a place the launcher cannot work from: a bundle the
// system runs translocated, a base folder that cannot be written or that the system's privacy
// protection keeps closed. The visitor is told how to fix it; nothing is written. False when the
// start must end; true for the private copy and for a usable place.
bool startPlaceIsUsable(const std::vector<std::string>& arguments, const std::string& bundlePath,
                        BundlePlacement& placement, Alerts& alerts);

// The process entry up to the application loop. A start without TargetPath= is the visitor's
// starter: it takes the instance lock, copies the bundle into the private folder, starts the copy
// with the base folder and waits until the copy has removed the marker file. The copy keeps the
// lock, checks its base folder and the running viewer and then goes on to the window. The lock
// lives as long as this object.
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
    // False when the private folder is another user's (the visitor has been told).
    bool preparePrivateFolder();
    // Another launcher is starting or running.
    bool anotherLauncher();
    // The copy: false when another launcher holds the instance lock.
    bool holdsInstanceLock();
    // The running bundle is the private copy itself, whatever path leads to either.
    bool runsFromPrivateCopy(const std::string& copyPath) const;
    void waitForStartedCopy(const std::string& markerPath);
    // Under the lock, before anything reads the installation: an update interrupted by a kill is
    // undone (or finished), and what killed file operations left is cleared up.
    void recoverInstallation();
    void loadMessageTable();

    Launcher& m_launcher;
    std::vector<std::string> m_arguments;
    std::string m_markerPath;
    InstanceLock m_lock;
};

} // namespace dravik
