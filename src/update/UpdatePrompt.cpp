#include "update/UpdatePrompt.h"

#include "common/Launcher.h"
#include "service/VersionRules.h"

namespace dravik {

UpdateViewTexts UpdatePrompt::viewTexts(const Launcher& launcher) {
    const Ini& ini = launcher.ini;
    UpdateViewTexts texts;
    const auto& local = launcher.localVersion;
    const auto& remote = launcher.remoteVersion;
    if (local) {
        if (isNotInstalledMarker(*local)) {
            texts.headline = "初回は更新が必要です";
            texts.confirm = "更新して下さい";
            texts.cancelEnabled = false;
        } else {
            texts.headline = ini.message("msg23");
            texts.confirm = ini.message("msg26");
        }
    }
    texts.nowTitle = ini.message("msg24");
    texts.newTitle = ini.message("msg25");
    if (local && remote) {
        texts.nowVersion = local->version;
        texts.newVersion = remote->version;
    }
    if (local && isUnknownVersion(*local)) {
        texts.headline = ini.message("msg20");
        texts.fitHeadline = true;
        texts.confirm = "";
        texts.versionRowsHidden = true;
        texts.plainButtonTitles = true;
        texts.cancelQuits = true;
    }
    return texts;
}

} // namespace dravik
