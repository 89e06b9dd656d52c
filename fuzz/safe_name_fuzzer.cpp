// File names from the hall record and the version record's delete and copy lists become paths.
// The first byte picks the kind (even: one component, odd: a relative path), the rest is the name.
// A name that is accepted must never lead out of its folder.

#include "FuzzCheck.h"
#include "common/SafePath.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

using namespace dravik;

namespace {

const std::string kFolder = "/base/Exhibition/BackgroundData/exhibition1_hall10";

bool hasComponent(std::string_view name, std::string_view wanted) {
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find('/', start);
        if (end == std::string_view::npos)
            end = name.size();
        if (name.substr(start, end - start) == wanted)
            return true;
        start = end + 1;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    NameKind kind = data[0] % 2 == 0 ? NameKind::PlainName : NameKind::RelativePath;
    std::string_view name(reinterpret_cast<const char*>(data) + 1, size - 1);

    bool safe = isSafeName(name, kind);
    auto path = pathInside(kFolder, name, kind);
    FUZZ_CHECK(safe == path.hasValue());
    if (!safe) {
        FUZZ_CHECK(!path.error().empty());
        return 0;
    }

    FUZZ_CHECK(!name.empty());
    FUZZ_CHECK(name.front() != '/');
    FUZZ_CHECK(name.find('\0') == std::string_view::npos);
    FUZZ_CHECK(!hasComponent(name, ".."));
    FUZZ_CHECK(!hasComponent(name, "."));
    FUZZ_CHECK(!hasComponent(name, ""));
    if (kind == NameKind::PlainName)
        FUZZ_CHECK(name.find('/') == std::string_view::npos);

    // Independently of the check above: the joined path, normalised, is still below the folder.
    FUZZ_CHECK(*path == kFolder + "/" + std::string(name));
    std::string normal = std::filesystem::path(*path).lexically_normal().generic_string();
    FUZZ_CHECK(normal.size() > kFolder.size() + 1);
    FUZZ_CHECK(normal.compare(0, kFolder.size() + 1, kFolder + "/") == 0);
    FUZZ_CHECK(std::filesystem::path(*path).lexically_relative(kFolder).generic_string() ==
               std::string(name));
    return 0;
}
