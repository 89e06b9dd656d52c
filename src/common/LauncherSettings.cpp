#include "common/LauncherSettings.h"

#include "common/JsonFile.h"
#include "common/JsonText.h"
#include "common/Launcher.h"

namespace dravik {

std::string LauncherSettings::path() const {
    return m_launcher.exhibitionPath("Dravik.json");
}

std::string LauncherSettings::readLauncherSetting(const std::string& key,
                                                  const std::string& defaultValue) const {
    Expected<std::string> bytes = File::readAll(path());
    if (!bytes)
        return defaultValue;
    auto settings = parseJson(*bytes);
    if (!settings || !settings->is_object())
        return defaultValue;
    auto it = settings->find(key);
    if (it == settings->end())
        return {};
    if (it->is_string())
        return it->get<std::string>();
    if (it->is_boolean())
        return it->get<bool>() ? "true" : "false";
    if (it->is_number())
        return it->dump();
    return {};
}

void LauncherSettings::writeLauncherSetting(const std::string& key,
                                            const std::string& value) const {
    patchJsonFile(
        path(), [&](nlohmann::ordered_json& settings) { settings[key] = value; },
        MissingJsonFile::PatchEmptyObject);
}

} // namespace dravik
