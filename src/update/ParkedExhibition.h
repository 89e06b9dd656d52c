#pragma once

#include <string>

namespace dravik {

class Launcher;

// While the release downloads, the self-update parks <base>/Exhibition as <base>/$Exhibition.
// When the launcher ends, or was killed, meanwhile, the folder must come back before anything
// uses the Exhibition folder again.
class ParkedExhibition {
public:
    explicit ParkedExhibition(Launcher& launcher) : m_launcher(launcher) {}

    std::string parkedPath() const; // <base>/$Exhibition

    // Moves a parked folder back as Exhibition. When an Exhibition folder exists as well (a start
    // after a kill made a new one), the parked one stays the installation: what only the newer
    // one holds (user.json, say) moves into it, and whatever else the newer one holds is set
    // aside beside it as "Exhibition-set-aside-<date>-<time>". What was done goes to the run log.
    // Nothing happens without a parked folder.
    void restore() const;

private:
    int mergeMissing(const std::string& from, const std::string& into) const;

    Launcher& m_launcher;
};

} // namespace dravik
