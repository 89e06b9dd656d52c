#pragma once

// What the reset dialog's OK does: restore the default parameters, drop the cached exhibition
// data, forget the stored e-mail address and invitation code, remove the installed viewer. Each
// step reports its own failure (run log and critical alert) and the next step runs regardless.

#include "base/Expected.h"

#include <string>
#include <vector>

namespace dravik {

class Launcher;

// The dialog's five boxes (only a box that is on counts), and whether its opener lets the dialog
// write the default parameters itself (the parameter editor writes them on its own save).
struct ResetChoices {
    bool resetParameter = false;
    bool deleteCache = false;
    bool deleteEmail = false;
    bool deleteInviteCode = false;
    bool deleteApp = false;
    bool resetParameterAllowed = false;
};

class ResetActions {
public:
    explicit ResetActions(Launcher& launcher) : m_launcher(launcher) {}

    // The selected steps in their fixed order: parameters, cache, e-mail, invitation code, viewer.
    void run(const ResetChoices& choices) const;

    // Removes the cache folder, then empties prevDownloadTime in the parameter file (replaced
    // atomically, every other key kept). Reported as "<Delete cache>" + description.
    void deleteCacheData() const;
    // Saves the stored visitor with an empty invitation code; the e-mail stays as stored.
    // Reported as "<Delete invitecode>" + description.
    void clearStoredInviteCode() const;
    // Removes the viewer folders and logs in order, stopping at the first failure
    // ("<Delete app>" + description), then marks the installed version as unknown.
    void deleteInstalledViewer() const;

    std::string cacheFolder() const;
    std::string parameterFile() const;
    // The viewer folders, then the viewer logs, in removal order.
    std::vector<std::string> viewerItems() const;

    // Removals happen only below a base folder that is an absolute path other than the root;
    // an empty (current directory) or root base folder could take unrelated files with it.
    static Status checkRemovalBase(const std::string& baseFolder);

private:
    // Removes an existing item with everything in it; a missing one is success.
    Status removeIfPresent(const std::string& path) const;
    void report(const std::string& text) const;

    Launcher& m_launcher;
};

} // namespace dravik
