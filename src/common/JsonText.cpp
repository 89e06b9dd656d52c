#include "common/JsonText.h"

namespace dravik {

namespace {

// nlohmann's messages start with "[json.exception.parse_error.101] " and end with
// "; last read: '<input>'"; both are dropped.
std::string describe(const nlohmann::json::exception& error) {
    std::string text = error.what();
    if (!text.empty() && text.front() == '[') {
        auto close = text.find("] ");
        if (close != std::string::npos)
            text.erase(0, close + 2);
    }
    auto lastRead = text.find("; last read:");
    if (lastRead != std::string::npos)
        text.erase(lastRead);
    return text;
}

// Writing and comparing a document recurse once per level, so a document nested deeper than any
// real file (only a broken or hostile one) would exhaust the stack; it is refused before parsing.
constexpr int kMaxDepth = 256;

bool nestedTooDeep(std::string_view bytes) {
    int depth = 0;
    bool inString = false;
    for (size_t i = 0; i < bytes.size(); ++i) {
        char c = bytes[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > kMaxDepth)
                return true;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return false;
}

template <typename Json> Expected<Json> parse(std::string_view bytes) {
    if (nestedTooDeep(bytes))
        return fail("not JSON: nested deeper than " + std::to_string(kMaxDepth) + " levels");
    try {
        return Json::parse(bytes.begin(), bytes.end());
    } catch (const nlohmann::json::exception& error) {
        return fail("not JSON: " + describe(error));
    }
}

} // namespace

Expected<nlohmann::json> parseJson(std::string_view bytes) {
    return parse<nlohmann::json>(bytes);
}

Expected<nlohmann::ordered_json> parseOrderedJson(std::string_view bytes) {
    return parse<nlohmann::ordered_json>(bytes);
}

std::string compactJson(const nlohmann::ordered_json& value) {
    return value.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

std::string prettyJson(const nlohmann::ordered_json& value) {
    return value.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

} // namespace dravik
