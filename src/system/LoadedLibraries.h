#pragma once

#include <string_view>

namespace dravik {

// The shared libraries loaded into this process; one definition per system.
class LoadedLibraries {
public:
    // How many loaded libraries have a file name that begins with prefix ("libssl.").
    static int countNamed(std::string_view prefix);
};

} // namespace dravik
