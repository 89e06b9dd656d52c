#pragma once

#include <optional>
#include <string>

namespace dravik {

class Launcher;

// What the update view shows when it loads. Absent texts leave the label as the form has it.
struct UpdateViewTexts {
    std::optional<std::string> headline;   // label_update_msg
    std::optional<std::string> confirm;    // label_update_confirm
    std::string nowTitle;                  // label_now_version_title
    std::string newTitle;                  // label_new_version_title
    std::optional<std::string> nowVersion; // label_now_version
    std::optional<std::string> newVersion; // label_new_version
    bool cancelEnabled = true;
    bool fitHeadline = false;       // size label_update_msg to its text
    bool versionRowsHidden = false; // hide both version titles and both versions
    bool plainButtonTitles = false; // title the buttons "OK" and "Cancel"
    bool cancelQuits = false;       // Cancel ends the process instead of going on to the download
};

class UpdatePrompt {
public:
    static UpdateViewTexts viewTexts(const Launcher& launcher);
};

} // namespace dravik
