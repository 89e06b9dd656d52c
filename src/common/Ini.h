#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace dravik {

struct SettingItem {
    std::string key;
    std::string value;
};

// Items of a UTF-16 INI file: CR LF lines, ";" comments, "[" sections without meaning, one flat
// list in file order. Duplicate keys stay; the first one wins on lookup.
class Ini {
public:
    // Reads a UTF-16 file (byte-order mark, else little-endian). A missing, unreadable or
    // undecodable file yields no items.
    static Ini load(const std::string& path);
    // Parses text that is already decoded (UTF-8 here).
    static Ini parse(std::string_view text);
    // One line's item: split at the first "=", trimmed, one leading and one trailing quote removed.
    // False for empty lines, comments, section headers and lines without "=".
    static bool parseItem(std::string_view line, SettingItem& item);
    // Decodes UTF-16 bytes to UTF-8; false when the bytes are not UTF-16.
    static bool decodeUtf16(const std::string& bytes, std::string& utf8);
    // Removes tab and every Unicode space separator from both ends.
    static std::string trim(std::string_view text);

    const std::vector<SettingItem>& items() const { return m_items; }

    // Case-insensitive first match; "\n" in the stored value becomes CR LF. The default is
    // returned unchanged when nothing matches.
    std::string getIniValue(std::string_view key, std::string_view defaultValue) const;
    // getIniValue with the built-in default of the message table.
    std::string message(std::string_view key) const;

private:
    std::vector<SettingItem> m_items;
};

} // namespace dravik
