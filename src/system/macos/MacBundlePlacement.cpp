#include "system/macos/MacBundlePlacement.h"

#include <CoreFoundation/CoreFoundation.h>
#include <cerrno>
#include <dlfcn.h>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

namespace dravik {

namespace {

// Security framework, macOS 10.12 and later, without a header in the SDK: looked up at run time.
using IsTranslocatedUrl = Boolean (*)(CFURLRef path, bool* isTranslocated, CFErrorRef* error);

IsTranslocatedUrl isTranslocatedUrl() {
    static const IsTranslocatedUrl function = [] {
        void* security =
            ::dlopen("/System/Library/Frameworks/Security.framework/Security", RTLD_LAZY);
        return security == nullptr ? nullptr
                                   : reinterpret_cast<IsTranslocatedUrl>(
                                         ::dlsym(security, "SecTranslocateIsTranslocatedURL"));
    }();
    return function;
}

bool translocated(const std::string& bundlePath) {
    // Where the system puts translocated copies; the question to the system covers any other
    // place it may choose.
    if (bundlePath.find("/AppTranslocation/") != std::string::npos)
        return true;
    IsTranslocatedUrl ask = isTranslocatedUrl();
    if (ask == nullptr)
        return false;
    CFURLRef url = CFURLCreateFromFileSystemRepresentation(
        kCFAllocatorDefault, reinterpret_cast<const UInt8*>(bundlePath.data()),
        static_cast<CFIndex>(bundlePath.size()), true);
    if (url == nullptr)
        return false;
    bool isTranslocated = false;
    const bool answered = ask(url, &isTranslocated, nullptr);
    CFRelease(url);
    return answered && isTranslocated;
}

} // namespace

StartPlace MacBundlePlacement::check(const std::string& bundlePath) {
    if (translocated(bundlePath))
        return StartPlace::Translocated;
    const std::string base = std::filesystem::path(bundlePath).parent_path().string();
    // Asking for write access to a protected folder (Desktop, Documents, Downloads) shows the
    // system's consent prompt with the usage text of Info.plist; a refusal answers EPERM. A disk
    // image or a read-only volume answers EROFS, another user's folder EACCES.
    if (::faccessat(AT_FDCWD, base.c_str(), W_OK | X_OK, AT_EACCESS) == 0)
        return StartPlace::Usable;
    return errno == EPERM ? StartPlace::AccessRefused : StartPlace::ReadOnly;
}

} // namespace dravik
