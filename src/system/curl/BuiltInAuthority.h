#pragma once

namespace dravik {

// The extra certificate authority named when the program was built, carried inside the program
// (the build copies the file's text into a generated source): its file name and its PEM text,
// both empty when the build named none.
const char* builtInAuthorityName();
const char* builtInAuthorityText();

} // namespace dravik
