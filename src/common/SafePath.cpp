#include "common/SafePath.h"

namespace dravik {

namespace {

std::string whyUnsafe(std::string_view name, NameKind kind) {
    if (name.empty())
        return "empty name";
    if (name.find('\0') != std::string_view::npos)
        return "name holds a NUL character";
    if (name.front() == '/')
        return "absolute path";
    if (kind == NameKind::PlainName && name.find('/') != std::string_view::npos)
        return "name holds a folder separator";
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find('/', start);
        if (end == std::string_view::npos)
            end = name.size();
        std::string_view component = name.substr(start, end - start);
        if (component.empty())
            return "empty path component";
        if (component == "." || component == "..")
            return "path component \"" + std::string(component) + "\"";
        start = end + 1;
    }
    return {};
}

} // namespace

bool isSafeName(std::string_view name, NameKind kind) {
    return whyUnsafe(name, kind).empty();
}

Expected<std::string> pathInside(const std::string& folder, std::string_view name, NameKind kind) {
    std::string why = whyUnsafe(name, kind);
    if (!why.empty())
        return fail("refused name \"" + std::string(name) + "\": " + why);
    return folder + "/" + std::string(name);
}

} // namespace dravik
