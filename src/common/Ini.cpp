#include "common/Ini.h"

#include "common/File.h"
#include "common/Messages.h"
#include "common/Unicode.h"

namespace dravik {

bool Ini::decodeUtf16(const std::string& bytes, std::string& utf8) {
    bool bigEndian = false; // without a byte-order mark the file is taken as little-endian
    size_t start = 0;
    if (bytes.size() >= 2) {
        auto b0 = static_cast<unsigned char>(bytes[0]), b1 = static_cast<unsigned char>(bytes[1]);
        if (b0 == 0xFE && b1 == 0xFF) {
            bigEndian = true;
            start = 2;
        } else if (b0 == 0xFF && b1 == 0xFE) {
            start = 2;
        }
    }
    if ((bytes.size() - start) % 2 != 0)
        return false;
    std::u16string units;
    units.reserve((bytes.size() - start) / 2);
    for (size_t i = start; i + 1 < bytes.size(); i += 2) {
        auto lo = static_cast<unsigned char>(bytes[i + (bigEndian ? 1 : 0)]);
        auto hi = static_cast<unsigned char>(bytes[i + (bigEndian ? 0 : 1)]);
        units.push_back(static_cast<char16_t>(hi << 8 | lo));
    }
    return utf16ToUtf8(units, utf8);
}

std::string Ini::trim(std::string_view text) {
    return trimSpaces(text);
}

bool Ini::parseItem(std::string_view line, SettingItem& item) {
    std::string trimmed = trim(line);
    if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '[')
        return false;
    size_t equals = trimmed.find('=');
    if (equals == std::string::npos)
        return false;
    item.key = trim(std::string_view(trimmed).substr(0, equals));
    std::string value = trim(std::string_view(trimmed).substr(equals + 1));
    if (!value.empty() && value.front() == '"')
        value.erase(0, 1);
    if (!value.empty() && value.back() == '"')
        value.pop_back();
    item.value = std::move(value);
    return true;
}

Ini Ini::parse(std::string_view text) {
    Ini ini;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find("\r\n", start);
        if (end == std::string_view::npos)
            end = text.size();
        SettingItem item;
        if (parseItem(text.substr(start, end - start), item))
            ini.m_items.push_back(std::move(item));
        start = end + 2;
    }
    return ini;
}

Ini Ini::load(const std::string& path) {
    Expected<std::string> bytes = File::readAll(path);
    std::string text;
    if (!bytes || !decodeUtf16(*bytes, text))
        return {};
    return parse(text);
}

std::string Ini::getIniValue(std::string_view key, std::string_view defaultValue) const {
    std::string wanted = asciiLower(key);
    for (const auto& item : m_items) {
        if (asciiLower(item.key) != wanted)
            continue;
        std::string value;
        value.reserve(item.value.size());
        for (size_t i = 0; i < item.value.size(); ++i) {
            if (item.value[i] == '\\' && i + 1 < item.value.size() && item.value[i + 1] == 'n') {
                value += "\r\n";
                ++i;
            } else {
                value += item.value[i];
            }
        }
        return value;
    }
    return std::string(defaultValue);
}

std::string Ini::message(std::string_view key) const {
    return getIniValue(key, defaultMessage(key));
}

} // namespace dravik
