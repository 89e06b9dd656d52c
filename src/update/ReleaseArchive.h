#pragma once

#include "base/Expected.h"

#include <string>

namespace dravik {

class Launcher;

// Where the downloaded release archive is kept: the private folder plus the last path component
// of the published record's file_url.
class ReleaseArchive {
public:
    // The URL's last path component with its percent-escapes decoded; a trailing "/" is ignored.
    // Fails for text that is not a URL (no scheme and "//", a broken escape).
    static Expected<std::string> fileName(const std::string& url);

    // <private>/<file name>. Refused when the name is not one plain name (empty, "..", a decoded
    // "/") or when it would replace one of the private folder's own items (the run log, the
    // running copy of the bundle, the extract folder, the reply copies).
    static Expected<std::string> pathFor(const Launcher& launcher, const std::string& fileUrl);

    // The same checks for a path that pathFor made.
    static Status checkPath(const Launcher& launcher, const std::string& archivePath);

    // Puts the transfer's temporary file in place as the archive, replacing what is there. A
    // failure prints "file error: " and the description.
    static bool store(const Launcher& launcher, const std::string& temporaryFile,
                      const std::string& archivePath);
};

} // namespace dravik
