#pragma once

#include <string>
#include <string_view>

namespace dravik {

// UTF-8 to UTF-16; malformed sequences become U+FFFD.
std::u16string utf8ToUtf16(std::string_view utf8);
// UTF-16 to UTF-8; false for an unpaired surrogate.
bool utf16ToUtf8(std::u16string_view utf16, std::string& utf8);
// Whether the bytes are well-formed UTF-8 (no stray, truncated or overlong sequences, no
// surrogates).
bool isValidUtf8(std::string_view text);
// Tab or a Unicode space separator (Zs): the characters trimmed from inputs and INI lines.
bool isTrimmedSpace(char32_t c);
// Removes those characters from both ends of UTF-8 text.
std::string trimSpaces(std::string_view utf8);
// ASCII lower and upper case; other characters stay as they are.
std::string asciiLower(std::string_view text);
std::string asciiUpper(std::string_view text);

} // namespace dravik
