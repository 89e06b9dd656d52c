#pragma once

// Comparison rules for the dotted version texts of QZ_VERSION.

#include "common/Records.h"

#include <string_view>

namespace dravik {

// True when every dot-separated part is a decimal integer equal to 0 ("0", "0.0.0"). An empty
// part or one that is not a number makes the version known.
bool isUnknownVersion(const QZ_VERSION& version);

// Compares the first four parts numerically; a missing, empty or non-numeric part counts as 0.
// Parts of any length compare by value, so a huge part never overflows.
bool isNewer(const QZ_VERSION& remote, const QZ_VERSION& local);

// The installed record's "-.-.-.-": the viewer has never been installed.
bool isNotInstalledMarker(const QZ_VERSION& version);

// The text form of the marker.
inline constexpr std::string_view kNotInstalledVersion = "-.-.-.-";

} // namespace dravik
