#include "system/LoadedLibraries.h"

#include <cstdint>
#include <mach-o/dyld.h>

namespace dravik {

int LoadedLibraries::countNamed(std::string_view prefix) {
    int count = 0;
    uint32_t images = _dyld_image_count();
    for (uint32_t i = 0; i < images; ++i) {
        const char* image = _dyld_get_image_name(i);
        std::string_view path = image != nullptr ? image : "";
        std::string_view name = path.substr(path.rfind('/') + 1);
        if (name.starts_with(prefix))
            ++count;
    }
    return count;
}

} // namespace dravik
