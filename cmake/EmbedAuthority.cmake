# Writes OUTPUT, a C++ source that carries the text of the PEM file INPUT (none when INPUT is
# empty), so the program never reads a file of the build machine at run time.
# cmake -DINPUT=<file or empty> -DOUTPUT=<source> -P EmbedAuthority.cmake
set(name "")
set(text "")
if(INPUT)
  if(NOT EXISTS "${INPUT}")
    message(FATAL_ERROR "The certificate bundle ${INPUT} does not exist")
  endif()
  get_filename_component(name "${INPUT}" NAME)
  file(READ "${INPUT}" text)
  if(text MATCHES "\\)dravik_pem\"")
    message(FATAL_ERROR "The certificate bundle ${INPUT} cannot be embedded")
  endif()
endif()
set(content "// Generated from the certificate bundle the build names; do not edit.

#include \"system/curl/BuiltInAuthority.h\"

namespace dravik {

const char* builtInAuthorityName() {
    return R\"dravik_pem(${name})dravik_pem\";
}

const char* builtInAuthorityText() {
    return R\"dravik_pem(${text})dravik_pem\";
}

} // namespace dravik
")
file(WRITE "${OUTPUT}" "${content}")
