#pragma once

#include <string>
#include <unordered_map>

namespace dravik {

// The change stamps kept in the booth folders of a hall folder: <folder>/<name>/updated_at.json
// for every entry of the folder. A hall holds thousands of booths, so the folder is listed once
// and the stamps are read relative to it, on two threads when there are many.
class BoothStamps {
public:
    static BoothStamps read(const std::string& hallFolder);
    // The updated_at of <folder>/updated_at.json alone (the hall's own stamp).
    static std::string stampIn(const std::string& folder);

    // The updated_at kept for the booth folder of that name; "" when it is absent, unreadable
    // or invalid.
    std::string stampOf(const std::string& boothFolderName) const;

private:
    std::unordered_map<std::string, std::string> m_stamps;
};

} // namespace dravik
