#pragma once

#include <string>

namespace dravik {

// Whether the launcher can work from the place the visitor started it from. Everything it keeps
// for the viewer lies in Exhibition/ beside the bundle, so the folder holding the bundle (the
// base folder) must be the real one, and writable.
enum class StartPlace {
    Usable,
    // The system runs a read-only copy of the bundle from a random folder (a downloaded bundle
    // started where it was unpacked): Exhibition/ is not beside it.
    Translocated,
    // The base folder cannot be written: a disk image, a read-only volume, another user's folder.
    ReadOnly,
    // The system's privacy protection keeps the base folder closed to this program.
    AccessRefused,
};

class BundlePlacement {
public:
    virtual ~BundlePlacement() = default;

    // Looks at the bundle at bundlePath and the folder that holds it without writing anything.
    virtual StartPlace check(const std::string& bundlePath) = 0;
};

} // namespace dravik
