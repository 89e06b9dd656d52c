# The macOS build's choices, included before the dependencies are looked for.
#
# libcurl: the system's own, from the SDK (/usr/lib/libcurl.4.dylib on every Mac), never
# Homebrew's. A visitor's Mac has no Homebrew, and the system's libcurl verifies servers through
# Secure Transport against the Keychain's trust settings: what Safari trusts, the authorities an
# organisation installs included (MacSystemTrust selects that backend before first use).
# The transfer engine needs curl_multi_poll (7.66) and curl_multi_wakeup (7.68): the system's
# libcurl has them from macOS 12 on (7.77.0; macOS 11 has 7.64.1), and macOS 15, the declared
# minimum, comes with 8.7.1 (MultiSSL: LibreSSL by default, Secure Transport on request). The
# SDK's headers can be newer than the library of the oldest supported system, so the macos tests
# check the running library's version.

# Lambdas that capture structured bindings (C++20) need Apple's clang 15 (Xcode 15) or newer.
if(CMAKE_CXX_COMPILER_ID STREQUAL "AppleClang" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 15)
  message(FATAL_ERROR "Xcode 15 or newer is needed (found Apple clang ${CMAKE_CXX_COMPILER_VERSION})")
endif()

# The SDK the compiler uses: CMake 4 leaves CMAKE_OSX_SYSROOT empty and lets the compiler choose.
if(IS_ABSOLUTE "${CMAKE_OSX_SYSROOT}")
  set(DRAVIK_MACOS_SDK "${CMAKE_OSX_SYSROOT}")
else()
  set(sdk_name "${CMAKE_OSX_SYSROOT}")
  if(NOT sdk_name)
    set(sdk_name macosx)
  endif()
  execute_process(COMMAND xcrun --sdk ${sdk_name} --show-sdk-path
                  OUTPUT_VARIABLE DRAVIK_MACOS_SDK OUTPUT_STRIP_TRAILING_WHITESPACE
                  COMMAND_ERROR_IS_FATAL ANY)
endif()
if(NOT EXISTS "${DRAVIK_MACOS_SDK}/usr/lib/libcurl.tbd")
  message(FATAL_ERROR "The macOS SDK at '${DRAVIK_MACOS_SDK}' has no libcurl.tbd")
endif()
# FindCURL takes these as found; no CURLConfig.cmake (Homebrew's) is looked at.
set(CURL_NO_CURL_CMAKE ON)
set(CURL_INCLUDE_DIR "${DRAVIK_MACOS_SDK}/usr/include" CACHE PATH "The SDK's curl headers" FORCE)
set(CURL_LIBRARY_RELEASE "${DRAVIK_MACOS_SDK}/usr/lib/libcurl.tbd" CACHE FILEPATH
    "The system's libcurl" FORCE)
set(CURL_LIBRARY "${CURL_LIBRARY_RELEASE}" CACHE FILEPATH "The system's libcurl" FORCE)

# After find_package(CURL): the build links the system's library, whatever else was on the paths.
function(dravik_check_system_curl)
  if(NOT CURL_LIBRARIES MATCHES "^${DRAVIK_MACOS_SDK}/usr/lib/libcurl")
    message(FATAL_ERROR "libcurl must be the system's (${DRAVIK_MACOS_SDK}/usr/lib/libcurl.tbd), "
                        "found: ${CURL_LIBRARIES}")
  endif()
  # The compiler finds <curl/curl.h> in the SDK by itself. Naming the SDK's usr/include as an
  # include folder would put it before libc++'s headers, whose #include_next then fails.
  set_target_properties(CURL::libcurl PROPERTIES INTERFACE_INCLUDE_DIRECTORIES "")
  message(STATUS "libcurl: the system's, SDK headers ${CURL_VERSION_STRING}")
endfunction()

# Frameworks the platform layer calls, each named: AppKit (NSWorkspace, NSRunningApplication,
# NSApplication), Foundation (NSBundle, NSProcessInfo, NSFileManager paths), CoreFoundation
# (CFURL, CFDictionary), CoreGraphics (the window list), ApplicationServices.
function(dravik_link_macos_frameworks target)
  foreach(framework AppKit Foundation CoreFoundation CoreGraphics ApplicationServices)
    find_library(DRAVIK_${framework}_FRAMEWORK ${framework} REQUIRED)
    target_link_libraries(${target} PRIVATE ${DRAVIK_${framework}_FRAMEWORK})
  endforeach()
endfunction()
