#pragma once

#include <string_view>

namespace dravik {

struct MessageDefault {
    std::string_view key;
    std::string_view text;
};

// The built-in default of every message and switch key that Dravik looks up in Dravik.ini;
// empty for an unknown key (and for msg1, which is built at run time).
std::string_view defaultMessage(std::string_view key);

} // namespace dravik
