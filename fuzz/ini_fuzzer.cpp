// Dravik.ini and FPSControllerParameter.ini are written by people with any editor: bytes go
// through the UTF-16 decoder, the line parser and the lookups.

#include "FuzzCheck.h"
#include "common/Ini.h"
#include "common/Unicode.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

using namespace dravik;

namespace {

std::string utf16le(std::u16string_view units) {
    std::string bytes;
    for (char16_t unit : units) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    return bytes;
}

void checkItems(const Ini& ini) {
    for (const SettingItem& item : ini.items()) {
        FUZZ_CHECK(item.key.find("\r\n") == std::string::npos);
        FUZZ_CHECK(item.value.find("\r\n") == std::string::npos);
        FUZZ_CHECK(Ini::trim(item.key) == item.key);
        // Every stored key answers its lookup, never with the default.
        FUZZ_CHECK(ini.getIniValue(item.key, "a") != "a" || ini.getIniValue(item.key, "b") != "b");
    }
    FUZZ_CHECK(ini.getIniValue("no such key\r\n", "de\\nfault") == "de\\nfault");
    (void)ini.message("msg13");
    (void)ini.message("Background_Loading");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);

    std::string text;
    if (Ini::decodeUtf16(bytes, text)) {
        // Decoded text is valid UTF-8 and survives the way back.
        std::string again;
        FUZZ_CHECK(utf16ToUtf8(utf8ToUtf16(text), again));
        FUZZ_CHECK(again == text);
        FUZZ_CHECK(Ini::decodeUtf16("\xFF\xFE" + utf16le(utf8ToUtf16(text)), again));
        FUZZ_CHECK(again == text);
        checkItems(Ini::parse(text));
    }

    // The parser also gets text that never came through the decoder (malformed UTF-8).
    checkItems(Ini::parse(bytes));
    SettingItem item;
    if (Ini::parseItem(bytes, item))
        FUZZ_CHECK(bytes.find('=') != std::string::npos);
    return 0;
}
