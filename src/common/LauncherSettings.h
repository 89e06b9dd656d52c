#pragma once

#include <string>

namespace dravik {

class Launcher;

// The launcher's own settings in Exhibition/Dravik.json: one JSON object with string values
// (update, entry_url, Splash_file, LobbyDisplay). Other programs' members are kept as they are.
class LauncherSettings {
public:
    explicit LauncherSettings(Launcher& launcher) : m_launcher(launcher) {}

    std::string path() const;

    // The value as text: a string as is, a number in decimal, a boolean as "true"/"false", and
    // "" for a missing key, null, an array or an object. The default only stands in for a file
    // that is missing, unreadable, not JSON or not a JSON object.
    std::string readLauncherSetting(const std::string& key, const std::string& defaultValue) const;

    // Sets one key to a string and rewrites the file, other members in their order. A file that
    // cannot be read or parsed is never overwritten, and a failed write leaves the old file as it
    // was (atomic replacement). Failures are not reported.
    void writeLauncherSetting(const std::string& key, const std::string& value) const;

private:
    Launcher& m_launcher;
};

} // namespace dravik
