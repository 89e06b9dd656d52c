#include "system/macos/MacWindowList.h"

#import <AppKit/AppKit.h>
#include <CoreGraphics/CoreGraphics.h>

namespace dravik {

namespace {

std::optional<int32_t> intValue(CFDictionaryRef window, CFStringRef key) {
    auto number = static_cast<CFNumberRef>(CFDictionaryGetValue(window, key));
    int32_t value = 0;
    if (number == nullptr || CFGetTypeID(number) != CFNumberGetTypeID() ||
        !CFNumberGetValue(number, kCFNumberSInt32Type, &value))
        return std::nullopt;
    return value;
}

std::string stringValue(CFDictionaryRef window, CFStringRef key) {
    auto text = static_cast<CFStringRef>(CFDictionaryGetValue(window, key));
    if (text == nullptr || CFGetTypeID(text) != CFStringGetTypeID())
        return {};
    CFIndex size =
        CFStringGetMaximumSizeForEncoding(CFStringGetLength(text), kCFStringEncodingUTF8) + 1;
    std::string buffer(static_cast<size_t>(size), '\0');
    if (!CFStringGetCString(text, buffer.data(), size, kCFStringEncodingUTF8))
        return {};
    buffer.resize(std::char_traits<char>::length(buffer.c_str()));
    return buffer;
}

} // namespace

std::vector<WindowInfo> MacWindowList::windowsFrontToBack() {
    std::vector<WindowInfo> windows;
    // Null outside a window-server session.
    CFArrayRef list = CGWindowListCopyWindowInfo(
        kCGWindowListOptionOnScreenOnly | kCGWindowListExcludeDesktopElements, kCGNullWindowID);
    if (list == nullptr)
        return windows;
    for (CFIndex i = 0; i < CFArrayGetCount(list); ++i) {
        // Every layer: a viewer that shows itself in a raised level (full screen, floating) is
        // still found.
        auto window = static_cast<CFDictionaryRef>(CFArrayGetValueAtIndex(list, i));
        windows.push_back(
            {stringValue(window, kCGWindowOwnerName), intValue(window, kCGWindowOwnerPID)});
    }
    CFRelease(list);
    return windows;
}

bool MacWindowList::activate(int32_t pid) {
    @autoreleasepool {
        NSRunningApplication* application =
            [NSRunningApplication runningApplicationWithProcessIdentifier:pid];
        if (application == nil)
            return false;
        if (@available(macOS 14.0, *)) {
            // Cooperative activation: this application, active while it starts the viewer, lets
            // the viewer take the focus, and the viewer is asked to take it.
            if (NSApp != nil)
                [NSApp yieldActivationToApplication:application];
            return [application activateFromApplication:NSRunningApplication.currentApplication
                                                options:0];
        }
// Before macOS 14 the request to take the focus from every other application is honoured.
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wdeprecated-declarations"
        return [application activateWithOptions:NSApplicationActivateIgnoringOtherApps];
#pragma clang diagnostic pop
    }
}

} // namespace dravik
