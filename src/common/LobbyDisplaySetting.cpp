#include "common/LobbyDisplaySetting.h"

#include "common/LauncherSettings.h"
#include "common/Unicode.h"

namespace dravik {

std::string lobbyDisplaySetting(Launcher& launcher) {
    std::string value =
        asciiUpper(LauncherSettings(launcher).readLauncherSetting("LobbyDisplay", "AUTO"));
    return value.empty() ? "AUTO" : value;
}

} // namespace dravik
