#pragma once

// JSON text in and out without exceptions: parsing reports its failure as a value, and writing
// never throws on text that is not valid UTF-8.

#include "base/Expected.h"

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

namespace dravik {

// Parses a whole JSON text. The error reads "not JSON: <reason>"; the reason never quotes the
// input, so a malformed reply cannot carry its content into a log.
Expected<nlohmann::json> parseJson(std::string_view bytes);
// The same, keeping object members in their file order (for files that are patched).
Expected<nlohmann::ordered_json> parseOrderedJson(std::string_view bytes);

// Compact text, UTF-8 as is; invalid UTF-8 in strings becomes U+FFFD instead of throwing.
std::string compactJson(const nlohmann::ordered_json& value);
// Indented text (two spaces) with a final line feed, for files people may open.
std::string prettyJson(const nlohmann::ordered_json& value);

// "an object", "an array", "a string", ... for error descriptions.
template <typename Json> std::string jsonTypeName(const Json& value) {
    if (value.is_object())
        return "an object";
    if (value.is_array())
        return "an array";
    if (value.is_string())
        return "a string";
    if (value.is_boolean())
        return "a boolean";
    if (value.is_number())
        return "a number";
    return "null";
}

} // namespace dravik
