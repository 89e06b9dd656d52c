#pragma once

#include "base/Expected.h"
#include "common/Records.h"

#include <optional>
#include <string>

namespace dravik {

class Launcher;

// The installed release's version record: Exhibition/version_mac.json, or the record built into
// the bundle's resources while nothing is installed.
class VersionFile {
public:
    explicit VersionFile(Launcher& launcher) : m_launcher(launcher) {}

    std::string installedPath() const; // <base>/Exhibition/version_mac.json
    std::string builtInPath() const;   // <bundle resources>/version_mac.json

    // The installed record, else the built-in one. A read or decode failure is logged and shown
    // as "<ローカルのバージョン読込み>" + description and yields none.
    std::optional<QZ_VERSION> loadLocalVersion() const;

    // Decodes one record file; the error is the read or decode failure's description.
    static Expected<QZ_VERSION> readVersionFile(const std::string& path);

    // Sets version to "0.0.0" in an installed record (written atomically), other members kept in
    // their order. Does
    // nothing without an installed record; failures are logged and shown as
    // "<Write version 0>" + description.
    void resetInstalledVersion() const;

private:
    void report(const std::string& text) const;

    Launcher& m_launcher;
};

} // namespace dravik
