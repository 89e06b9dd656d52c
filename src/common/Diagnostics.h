#pragma once

#include <string>

namespace dravik {

// The one sink for failure descriptions that are neither shown to the visitor nor written to the
// run log: the text and a line feed on standard output, flushed at once so that it is there even
// when the process ends abruptly. Safe to call from any thread; a line is never split.
void printDiagnostic(const std::string& text);

} // namespace dravik
