#pragma once

#include <string>

namespace dravik {

class Launcher;

// The launcher setting LobbyDisplay, upper-cased, for the rules that depend on it (the data
// sync's lobby display, the outside-the-period invitation). A missing or empty value is "AUTO",
// as the parameter editor shows it.
std::string lobbyDisplaySetting(Launcher& launcher);

} // namespace dravik
