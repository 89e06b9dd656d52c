#pragma once

#include "base/Expected.h"

#include <chrono>
#include <optional>
#include <string>

namespace dravik {

// A download cut short, kept for the next run to continue with a range request: the bytes
// received so far in ".<file name>.partial" beside the file's destination (or in the private
// folder for the release archive) and, beside them in "<that name>.json", what they are:
//
//   {"url": "...", "tag": "...", "validator": "...", "started": <seconds since the epoch>}
//
// url: the address they came from; tag: what they belong to besides it (a booth folder's stamp,
// the release's version); validator: the answer's ETag (strong only), else its Last-Modified,
// sent back as If-Range so the server sends the rest only of the same file; started: when the
// first byte of them came. Bytes without a readable description are never continued.
struct PartialDownload {
    // Kept this long; older ones start again and are swept away.
    static constexpr std::chrono::hours kLifetime{24 * 7};

    std::string url;
    std::string tag;
    std::string validator;
    std::chrono::system_clock::time_point started;

    static std::string dataPath(const std::string& folder, const std::string& fileName);
    static std::string infoPath(const std::string& dataPath);
    // Whether the name is one of the two files of a partial download.
    static bool isPartialName(const std::string& fileName);

    // The description kept beside the data file, none when it is missing or unreadable.
    static std::optional<PartialDownload> read(const std::string& dataPath);
    Status write(const std::string& dataPath) const;
    // Removes both files; what is not there is no failure.
    static void remove(const std::string& dataPath);

    bool isFresh(std::chrono::system_clock::time_point now) const;
    // Whether it may continue a download of url for tag.
    bool continues(const std::string& url, const std::string& tag,
                   std::chrono::system_clock::time_point now) const;
};

} // namespace dravik
