#pragma once

#include "base/Expected.h"

#include <functional>
#include <string>
#include <vector>

namespace dravik {

class InstallTransaction;
class Launcher;
struct QZ_VERSION;

enum class InstallOutcome {
    Installed,      // bring the application to the front and let the progress reach 100
    Failed,         // show the failure text, enable the buttons again
    CloseRequested, // a close was asked for meanwhile: close the window
};

struct InstallResult {
    InstallOutcome outcome = InstallOutcome::Failed;
    std::string failureText; // msg33 when the outcome is Failed
};

// Installs a downloaded release into the base folder: unpacks it, applies the published record's
// delete and copy lists and cleans up. Runs on a background worker and touches no control.
class ReleaseInstaller {
public:
    explicit ReleaseInstaller(Launcher& launcher) : m_launcher(launcher) {}

    // Runs installRelease on a background worker and posts the result to the main thread.
    void start(std::string archivePath, std::function<void(const InstallResult&)> done);

    // The whole installation of the archive stored at archivePath (which must lie directly in the
    // private folder): extract, install, remove the archive, the extract folder and any other
    // archive in the private folder, clear closeBlocked.
    InstallResult installRelease(const std::string& archivePath);

    // Applies remoteVersion's lists with the extract folder's single top-level folder as the
    // release, all or nothing (InstallTransaction): a failure at any step leaves the base folder
    // as it was, with a run-log line. Every listed name is checked before anything is deleted;
    // one that would leave the base folder fails the installation.
    bool installFromExtractFolder(const std::string& extractFolder);

    // Refuses list names that are absolute, empty or hold "." or ".." components, and names in
    // the installation's own working folder.
    static Status checkReleaseLists(const QZ_VERSION& version);

    // Refuses a release holding a name that is not UTF-8.
    static Status checkNames(const std::string& release);

    std::string extractFolder() const;

private:
    // The viewer's and the launcher's executables get their execute bit.
    Status makeProgramsExecutable();
    Status apply(InstallTransaction& transaction, const QZ_VERSION& version,
                 const std::string& release);
    void cleanUp(const std::string& archivePath);

    Launcher& m_launcher;
};

} // namespace dravik
