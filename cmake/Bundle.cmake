# Assembles Dravik.app in the build folder:
#   Contents/MacOS/Dravik, Contents/Info.plist, Contents/Resources/{version_mac.json,Splash.gif,7zz}

find_program(DRAVIK_7ZZ 7zz REQUIRED)
execute_process(COMMAND ${DRAVIK_7ZZ} OUTPUT_VARIABLE _7zz_banner ERROR_QUIET)
string(REGEX MATCH "7-Zip \\(z\\) ([0-9]+)\\.([0-9]+)" _7zz_version "${_7zz_banner}")
if(NOT _7zz_version OR CMAKE_MATCH_1 LESS 25)
  message(FATAL_ERROR "7-Zip's 7zz 25.00 or newer is needed (found: '${_7zz_version}' at ${DRAVIK_7ZZ})")
endif()

set(DRAVIK_BUNDLE_DIR ${CMAKE_BINARY_DIR}/Dravik.app)

function(dravik_assemble_bundle target)
  set(contents ${DRAVIK_BUNDLE_DIR}/Contents)
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${contents}/MacOS)
  set(DRAVIK_SHORT_VERSION ${PROJECT_VERSION})
  set(DRAVIK_MACOS_MINIMUM ${CMAKE_OSX_DEPLOYMENT_TARGET})
  configure_file(${CMAKE_SOURCE_DIR}/packaging/Info.plist.in ${contents}/Info.plist @ONLY)
  # The built-in record: the viewer is not installed yet; the published record lies beside
  # file_url.
  configure_file(${CMAKE_SOURCE_DIR}/packaging/version_mac.json.in
                 ${CMAKE_BINARY_DIR}/packaging/version_mac.json @ONLY)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E make_directory ${contents}/Resources
    COMMAND ${CMAKE_COMMAND} -E copy_if_different
            ${CMAKE_BINARY_DIR}/packaging/version_mac.json
            ${CMAKE_SOURCE_DIR}/packaging/Splash.gif
            ${DRAVIK_7ZZ}
            ${contents}/Resources/
    VERBATIM)
endfunction()
