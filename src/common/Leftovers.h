#pragma once

#include "common/PartialDownload.h"

#include <chrono>
#include <optional>
#include <string>

namespace dravik {

class Launcher;

// What a killed launcher leaves behind: the hidden temporaries of its file operations
// (File::temporaryName: ".<item>.<purpose>-<process id>-<counter>") and partial downloads
// (".download-XXXXXX"). Run under the instance lock, so no other launcher writes meanwhile.
class Leftovers {
public:
    // A partial download stays this long for a later run to resume it.
    static constexpr std::chrono::hours kPartialDownloadLifetime = PartialDownload::kLifetime;

    struct TemporaryName {
        std::string item;    // the file name the operation was writing or replacing
        std::string purpose; // "tmp", "copy", "old" or "discard"
        long pid = 0;        // the process that made it
    };
    static std::optional<TemporaryName> parse(const std::string& fileName);

    explicit Leftovers(Launcher& launcher) : m_launcher(launcher) {}

    // Clears up the folder's own entries (not below them) whose process is gone, each with a
    // run-log line: temporaries of writes and copies are removed; an original set aside while
    // it was replaced ("old") goes back to its name when nothing stands there, else it is
    // removed; partial downloads are removed once they are older than their lifetime. Returns
    // how many entries were handled.
    int sweep(const std::string& folder) const;

private:
    void handle(const std::string& folder, const std::string& name, const TemporaryName& temp,
                int& handled) const;

    Launcher& m_launcher;
};

} // namespace dravik
