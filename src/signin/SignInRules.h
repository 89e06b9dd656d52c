#pragma once

// The sign-in view's rules that have an answer without a window.

#include "common/Records.h"

#include <optional>
#include <string>

namespace dravik {

class Launcher;

// The message key of the first problem with the inputs at Start ("msg2", "msg3", "msg4"), or
// empty when both inputs pass. Only the length of the code without dashes is checked.
std::string startInputProblem(const std::string& inviteCode, const std::string& email);

// "Kestrane Ver <local>", with "(最新 <remote>)" when a newer release is published; empty for
// an unknown installed version or none.
std::string versionLabelText(const std::optional<QZ_VERSION>& local,
                             const std::optional<QZ_VERSION>& remote);

// A newer published release is offered in the check box (a known installed version only).
bool offersUpdate(const std::optional<QZ_VERSION>& local, const std::optional<QZ_VERSION>& remote);

// Where the sign-in goes once the exhibition data are prepared.
enum class FinishRoute {
    Update,   // a release must be installed first
    NoViewer, // the viewer is not installed: alert and exit
    Download, // start the viewer and fetch the files
};
FinishRoute decideFinish(Launcher& launcher);

// The splash image file to show: logo.gif, logo.png, else the Splash_file setting inside
// Exhibition; empty when that file does not exist (the built-in image is shown then).
std::string splashImagePath(Launcher& launcher);

// The entry link's address: the entry_url setting, else the published record's; empty for none.
std::string entryUrl(Launcher& launcher);

} // namespace dravik
