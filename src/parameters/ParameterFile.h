#pragma once

// Exhibition/FPSControllerParameter.json, the viewer's operation parameters. Dravik reads the 27
// keys of QZ_FPSControllerParameter strictly and writes by patching: the existing document is read,
// Dravik's keys are replaced and every other key stays where it was.
//
// For the parameter editor:
//   opening:  auto record = ParameterFile(launcher).readParameterFile();
//             on failure print record.error() to the console and show the definition defaults.
//   saving:   bool ok = ParameterFile(launcher).writeParameterFile(values, m_resetFlag, m_setting);
//             a failure has already been logged and alerted ("操作パラメータの保存\n\n…").
// For the reset dialog: ParameterFile(launcher).writeDefaultParameters().

#include "base/Expected.h"
#include "parameters/QZ_FPSControllerParameter.h"

#include <string>
#include <string_view>

namespace dravik {

class Launcher;
class Setting;

class ParameterFile {
public:
    explicit ParameterFile(Launcher& launcher) : m_launcher(launcher) {}

    // "<base>/Exhibition/FPSControllerParameter.json"
    std::string path() const;

    // The record, or why the file cannot be used (missing, unreadable, not a JSON object, a key
    // missing or of the wrong type). Nothing is reported to the visitor.
    Expected<QZ_FPSControllerParameter> readParameterFile() const;
    // Strict decoding of the file's text; keys the record does not know are ignored.
    static Expected<QZ_FPSControllerParameter> decode(std::string_view bytes);

    // Replaces the 27 record keys (and, with resetExtras, prevDownloadTime, prevInviteCode and the
    // light and hall placement objects built from definitions' placement defaults) and writes the
    // document back. A missing file starts from an empty object. A file that cannot be read, is
    // not JSON or does not hold an object is left unchanged. Failures are logged and alerted with
    // "操作パラメータの保存\n\n" + description; the result tells whether the file was written.
    // An empty isRangeAutoControl or isFullScreen is written as false.
    bool writeParameterFile(const QZ_FPSControllerParameter& values, bool resetExtras,
                            const Setting& definitions) const;

    // The reset: writes the definition defaults with the reset keys, then the launcher settings
    // update (the update definition's default) and LobbyDisplay "AUTO" in every case. Failures are
    // logged and alerted with "<Reset parameter>" + description.
    void writeDefaultParameters() const;

private:
    bool write(const QZ_FPSControllerParameter& values, bool resetExtras,
               const Setting& definitions, const std::string& reportPrefix) const;
    void report(const std::string& message) const;

    Launcher& m_launcher;
};

} // namespace dravik
