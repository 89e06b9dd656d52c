#include "reset/ResetActions.h"

#include "common/File.h"
#include "common/JsonFile.h"
#include "common/Launcher.h"
#include "common/RemoveTree.h"
#include "common/UserFile.h"
#include "common/VersionFile.h"
#include "parameters/ParameterFile.h"
#include "platform/Alerts.h"

#include <filesystem>
#include <system_error>

namespace dravik {

namespace fs = std::filesystem;

namespace {

const std::string kDeleteCache = "<Delete cache>";
const std::string kDeleteInviteCode = "<Delete invitecode>";
const std::string kDeleteApp = "<Delete app>";

// Removal order matters: a failure stops the rest, and the application bundle goes last.
const char* const kViewerItems[] = {
    "BGM",          "Lobby",      "MonoBleedingEdge", "Kestrane_Data",
    "Kestrane.app", "APILog.txt", "BoothLog.txt",
};

bool isRoot(const fs::path& path) {
    return path.is_absolute() && path.lexically_normal().relative_path().empty();
}

} // namespace

void ResetActions::run(const ResetChoices& choices) const {
    if (choices.resetParameter && choices.resetParameterAllowed)
        ParameterFile(m_launcher).writeDefaultParameters();
    if (choices.deleteCache)
        deleteCacheData();
    if (choices.deleteEmail)
        UserFile(m_launcher).clearStoredEmail();
    if (choices.deleteInviteCode)
        clearStoredInviteCode();
    if (choices.deleteApp)
        deleteInstalledViewer();
}

void ResetActions::deleteCacheData() const {
    if (Status removed = removeIfPresent(cacheFolder()); !removed) {
        report(kDeleteCache + removed.error());
        return;
    }
    // Replaced atomically: a failed write (a full disk) leaves the viewer its parameters.
    auto patched = patchJsonFile(parameterFile(), [](nlohmann::ordered_json& parameters) {
        parameters["prevDownloadTime"] = nlohmann::ordered_json::array();
    });
    if (!patched)
        report(kDeleteCache + patched.error);
}

void ResetActions::clearStoredInviteCode() const {
    UserFile users(m_launcher);
    QZ_USER user = users.loadUser();
    user.invitecode.clear();
    if (Status saved = users.saveUser(user); !saved)
        report(kDeleteInviteCode + saved.error());
}

void ResetActions::deleteInstalledViewer() const {
    for (const std::string& item : viewerItems()) {
        if (Status removed = removeIfPresent(item); !removed) {
            report(kDeleteApp + removed.error());
            return;
        }
    }
    VersionFile(m_launcher).resetInstalledVersion();
}

std::string ResetActions::cacheFolder() const {
    return m_launcher.exhibitionPath("ExhibitionData");
}

std::string ResetActions::parameterFile() const {
    return ParameterFile(m_launcher).path();
}

std::vector<std::string> ResetActions::viewerItems() const {
    std::vector<std::string> items;
    for (const char* name : kViewerItems)
        items.push_back(m_launcher.exhibitionPath(name));
    return items;
}

Status ResetActions::checkRemovalBase(const std::string& baseFolder) {
    if (baseFolder.empty())
        return fail("refused: no base folder is set");
    fs::path base(baseFolder);
    if (!base.is_absolute())
        return fail("refused: the base folder " + baseFolder + " is not an absolute path");
    std::error_code error;
    fs::path resolved = fs::weakly_canonical(base, error);
    if (isRoot(base) || (!error && isRoot(resolved)))
        return fail("refused: the base folder " + baseFolder + " is the root folder");
    return Status::ok();
}

Status ResetActions::removeIfPresent(const std::string& path) const {
    if (Status base = checkRemovalBase(m_launcher.baseFolder); !base)
        return base;
    if (!File::exists(path))
        return Status::ok();
    if (std::error_code error = removeTree(path))
        return fail(error.message());
    return Status::ok();
}

void ResetActions::report(const std::string& text) const {
    m_launcher.writeLog(text);
    m_launcher.platform.alerts.critical(text);
}

} // namespace dravik
