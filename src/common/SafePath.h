#pragma once

// Names that come from the service or the version record and become paths must stay inside
// their folder.

#include "base/Expected.h"

#include <string>
#include <string_view>

namespace dravik {

enum class NameKind {
    PlainName,    // one path component: no separator at all ("poster.png")
    RelativePath, // components separated by "/" ("Exhibition/BGM/a.mp3")
};

// True when the name is not empty, not absolute, holds no NUL, no "." or ".." component and no
// empty component, and (for a plain name) no "/" at all.
bool isSafeName(std::string_view name, NameKind kind);

// folder + "/" + name when the name is safe, otherwise an error that says why.
Expected<std::string> pathInside(const std::string& folder, std::string_view name, NameKind kind);

} // namespace dravik
