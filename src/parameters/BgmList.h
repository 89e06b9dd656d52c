#pragma once

// The background-music choices of the parameter editor: the entries of Exhibition/BGM, sorted,
// each shown without its last extension.
//
// For the parameter editor (fillBGMLists, on the first showValues only):
//   BgmList list(BgmList::folder(launcher));
//   BgmChoice hall = list.choice(record.optionBGMName);
//   BgmChoice showroom = list.choice(record.showroomBGMName);
//   fill each combo box with choice.items, select choice.selected (-1: none) and enable the play
//   button as choice.playEnabled says.

#include <string>
#include <vector>

namespace dravik {

class Launcher;

// What one combo box shows.
struct BgmChoice {
    std::vector<std::string> items;
    int selected = -1;       // index into items, -1 for none
    bool playEnabled = true; // false when the stored name stands in for an empty folder
};

class BgmList {
public:
    // "<base>/Exhibition/BGM"
    static std::string folder(const Launcher& launcher);

    // Every entry of the folder (files, folders and hidden entries alike), sorted by name. A
    // missing or unreadable folder gives no names.
    explicit BgmList(const std::string& folder);

    // The shown names in order, each without its last extension ("a.b.mp3" -> "a.b").
    const std::vector<std::string>& names() const { return m_names; }

    // The items with the one matching storedName (letter case ignored) selected, else the first.
    // Without any item, a non-empty stored name becomes the only item with play disabled.
    BgmChoice choice(const std::string& storedName) const;

    // The name without its last extension; a leading dot does not start an extension.
    static std::string removeLastExtension(const std::string& name);

private:
    std::vector<std::string> m_names;
};

} // namespace dravik
