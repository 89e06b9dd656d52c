#include "common/Diagnostics.h"

#include <cstdio>

namespace dravik {

void printDiagnostic(const std::string& text) {
    // One locked write of the whole line, so lines of two threads never interleave.
    const std::string line = text + "\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
}

} // namespace dravik
