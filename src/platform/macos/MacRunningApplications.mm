#include "platform/macos/MacRunningApplications.h"

#import <AppKit/AppKit.h>

namespace dravik {

std::vector<std::string> MacRunningApplications::names() {
    std::vector<std::string> names;
    @autoreleasepool {
        for (NSRunningApplication* application in NSWorkspace.sharedWorkspace.runningApplications) {
            const char* name = application.localizedName.UTF8String;
            if (application.terminated || name == nullptr)
                continue;
            names.emplace_back(name);
        }
    }
    return names;
}

} // namespace dravik
