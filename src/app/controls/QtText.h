#pragma once

// The core speaks UTF-8 std::string; the widgets speak QString.

#include <QString>
#include <string_view>

namespace dravik {

inline QString qs(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace dravik
