#include "common/VersionFile.h"

#include "common/JsonFile.h"
#include "common/Launcher.h"
#include "common/RecordCoding.h"
#include "platform/Alerts.h"

namespace dravik {

std::string VersionFile::installedPath() const {
    return m_launcher.exhibitionPath("version_mac.json");
}

std::string VersionFile::builtInPath() const {
    return File::join(m_launcher.platform.bundle.resourcesPath, "version_mac.json");
}

Expected<QZ_VERSION> VersionFile::readVersionFile(const std::string& path) {
    Expected<std::string> bytes = File::readAll(path);
    if (!bytes)
        return fail(bytes.error());
    return decodeRecord<QZ_VERSION>(*bytes);
}

std::optional<QZ_VERSION> VersionFile::loadLocalVersion() const {
    std::string installed = installedPath();
    auto version = readVersionFile(File::exists(installed) ? installed : builtInPath());
    if (!version) {
        report("<ローカルのバージョン読込み>" + version.error());
        return std::nullopt;
    }
    return std::move(*version);
}

void VersionFile::resetInstalledVersion() const {
    auto patched = patchJsonFile(
        installedPath(), [](nlohmann::ordered_json& record) { record["version"] = "0.0.0"; });
    if (!patched)
        report("<Write version 0>" + patched.error);
}

void VersionFile::report(const std::string& text) const {
    m_launcher.writeLog(text);
    m_launcher.platform.alerts.critical(text);
}

} // namespace dravik
