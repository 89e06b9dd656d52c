#include "system/LoadedLibraries.h"

#include <link.h>
#include <string>

namespace dravik {

namespace {

struct Search {
    std::string_view prefix;
    int count = 0;
};

int countObject(dl_phdr_info* info, size_t, void* data) {
    auto* search = static_cast<Search*>(data);
    std::string_view path = info->dlpi_name != nullptr ? info->dlpi_name : "";
    std::string_view name = path.substr(path.rfind('/') + 1);
    if (name.starts_with(search->prefix))
        ++search->count;
    return 0;
}

} // namespace

int LoadedLibraries::countNamed(std::string_view prefix) {
    Search search{prefix};
    dl_iterate_phdr(&countObject, &search);
    return search.count;
}

} // namespace dravik
