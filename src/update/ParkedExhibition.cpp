#include "update/ParkedExhibition.h"

#include "common/File.h"
#include "common/Launcher.h"

#include <filesystem>
#include <vector>

namespace dravik {

namespace fs = std::filesystem;

namespace {

// The folder's entries, read before any of them is moved or removed.
std::vector<fs::directory_entry> entriesOf(const fs::path& folder) {
    std::vector<fs::directory_entry> entries;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        entries.push_back(*it);
    return entries;
}

// True when the folder holds no file at any depth; such folders are removed.
bool removeIfEmpty(const fs::path& folder) {
    std::error_code error;
    if (!fs::is_directory(fs::symlink_status(folder, error)))
        return false;
    bool empty = true;
    for (const auto& entry : entriesOf(folder))
        empty = removeIfEmpty(entry.path()) && empty;
    if (!empty)
        return false;
    fs::remove(folder, error);
    return !error;
}

} // namespace

std::string ParkedExhibition::parkedPath() const {
    return File::join(m_launcher.baseFolder, "$Exhibition");
}

void ParkedExhibition::restore() const {
    const std::string parked = parkedPath();
    const std::string exhibition = m_launcher.exhibitionPath();
    if (!File::isPresent(parked))
        return;
    std::error_code error;
    if (File::isPresent(exhibition)) {
        int moved = File::isFolder(exhibition) ? mergeMissing(exhibition, parked) : 0;
        std::string outcome = "moved " + std::to_string(moved) + " items of the newer one into it";
        if (!removeIfEmpty(exhibition)) {
            std::string aside =
                File::unusedDatedName(m_launcher.baseFolder, "Exhibition-set-aside-");
            fs::rename(exhibition, aside, error);
            if (error) {
                m_launcher.writeLog("Exhibition recovery failed: cannot set Exhibition aside: " +
                                    error.message());
                return;
            }
            outcome += ", set the rest aside as " + fs::path(aside).filename().string();
        }
        m_launcher.writeLog("Exhibition recovery: both Exhibition and $Exhibition were there; "
                            "kept $Exhibition, " +
                            outcome);
    }
    fs::rename(parked, exhibition, error);
    if (error)
        m_launcher.writeLog("Exhibition recovery failed: cannot move $Exhibition back: " +
                            error.message());
    else
        m_launcher.writeLog("Exhibition recovery: moved $Exhibition back to Exhibition");
}

// Moves every item of from that into lacks (at any depth) into it; returns how many moved.
int ParkedExhibition::mergeMissing(const std::string& from, const std::string& into) const {
    int moved = 0;
    for (const auto& entry : entriesOf(from)) {
        const std::string target = File::join(into, entry.path().filename().string());
        std::error_code failed;
        if (!File::isPresent(target)) {
            fs::rename(entry.path(), target, failed);
            moved += failed ? 0 : 1;
        } else if (File::isFolder(target) &&
                   entry.symlink_status().type() == fs::file_type::directory) {
            moved += mergeMissing(entry.path().string(), target);
        }
    }
    return moved;
}

} // namespace dravik
