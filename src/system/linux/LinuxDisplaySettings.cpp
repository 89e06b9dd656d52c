#include "system/linux/LinuxDisplaySettings.h"

#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

namespace dravik {

void LinuxDisplaySettings::open() {
    // Elsewhere there is nothing to open.
    const std::pair<const char*, QStringList> programs[] = {
        {"gnome-control-center", {"display"}},
        {"systemsettings", {"kcm_kscreen"}},
        {"xfce4-display-settings", {}},
    };
    for (const auto& [program, args] : programs) {
        QString path = QStandardPaths::findExecutable(program);
        if (path.isEmpty())
            continue;
        QProcess::startDetached(path, args);
        return;
    }
}

} // namespace dravik
