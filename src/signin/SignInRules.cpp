#include "signin/SignInRules.h"

#include "common/File.h"
#include "common/Launcher.h"
#include "common/LauncherSettings.h"
#include "common/Unicode.h"
#include "service/VersionRules.h"

#include <algorithm>

namespace dravik {

std::string startInputProblem(const std::string& inviteCode, const std::string& email) {
    if (inviteCode.empty())
        return "msg2";
    std::u16string code = utf8ToUtf16(inviteCode);
    code.erase(std::remove(code.begin(), code.end(), u'-'), code.end());
    if (code.size() != 12)
        return "msg3";
    if (email.empty())
        return "msg4";
    return {};
}

bool offersUpdate(const std::optional<QZ_VERSION>& local, const std::optional<QZ_VERSION>& remote) {
    return local && remote && !isUnknownVersion(*local) && isNewer(*remote, *local);
}

std::string versionLabelText(const std::optional<QZ_VERSION>& local,
                             const std::optional<QZ_VERSION>& remote) {
    if (!local || isUnknownVersion(*local))
        return {};
    std::string text = "Kestrane Ver " + local->version;
    if (offersUpdate(local, remote))
        text += "(最新 " + remote->version + ")";
    return text;
}

FinishRoute decideFinish(Launcher& launcher) {
    const auto& local = launcher.localVersion;
    const auto& remote = launcher.remoteVersion;
    std::string update = asciiUpper(LauncherSettings(launcher).readLauncherSetting("update", "ON"));
    bool check = update != "OFF" || (local && isUnknownVersion(*local));
    if (check && local && remote && (isNewer(*remote, *local) || isNotInstalledMarker(*local)))
        return FinishRoute::Update;
    if (!File::exists(launcher.exhibitionPath("Kestrane.app/Contents/MacOS/Kestrane")))
        return FinishRoute::NoViewer;
    return FinishRoute::Download;
}

std::string splashImagePath(Launcher& launcher) {
    std::string path = launcher.exhibitionPath("logo.gif");
    if (!File::exists(path))
        path = launcher.exhibitionPath("logo.png");
    if (!File::exists(path))
        path = launcher.exhibitionPath(
            LauncherSettings(launcher).readLauncherSetting("Splash_file", "splash.gif"));
    return File::exists(path) ? path : std::string();
}

std::string entryUrl(Launcher& launcher) {
    std::string url = LauncherSettings(launcher).readLauncherSetting("entry_url", "");
    if (url.empty() && launcher.remoteVersion && launcher.remoteVersion->entry_url)
        url = *launcher.remoteVersion->entry_url;
    return url;
}

} // namespace dravik
