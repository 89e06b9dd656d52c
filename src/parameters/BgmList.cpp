#include "parameters/BgmList.h"

#include "common/Launcher.h"
#include "common/Unicode.h"

#include <algorithm>
#include <filesystem>

namespace dravik {

namespace fs = std::filesystem;

std::string BgmList::folder(const Launcher& launcher) {
    return launcher.exhibitionPath("BGM");
}

BgmList::BgmList(const std::string& folder) {
    std::error_code error;
    if (!fs::exists(fs::symlink_status(folder, error)))
        return;
    std::vector<std::pair<std::u16string, std::string>> entries; // sort key, name
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        std::string name = it->path().filename().string();
        entries.emplace_back(utf8ToUtf16(name), std::move(name));
    }
    if (error)
        return;
    // UTF-16 order, as the names compare on the target platform.
    std::sort(entries.begin(), entries.end());
    for (const auto& entry : entries)
        m_names.push_back(removeLastExtension(entry.second));
}

std::string BgmList::removeLastExtension(const std::string& name) {
    size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0)
        return name;
    return name.substr(0, dot);
}

BgmChoice BgmList::choice(const std::string& storedName) const {
    BgmChoice choice;
    choice.items = m_names;
    std::string wanted = asciiLower(storedName);
    for (const auto& name : m_names) {
        if (asciiLower(name) != wanted)
            continue;
        // Selecting by text picks the first item with that text; a later match wins.
        auto first = std::find(m_names.begin(), m_names.end(), name);
        choice.selected = static_cast<int>(first - m_names.begin());
    }
    if (!choice.items.empty() && choice.selected < 0)
        choice.selected = 0;
    if (choice.items.empty() && !storedName.empty()) {
        choice.items.push_back(storedName);
        choice.selected = 0;
        choice.playEnabled = false;
    }
    return choice;
}

} // namespace dravik
