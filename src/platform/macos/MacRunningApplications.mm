#include "platform/macos/MacRunningApplications.h"

#import <AppKit/AppKit.h>

namespace dravik {

std::vector<std::string> MacRunningApplications::names() {
    std::vector<std::string> names;
    @autoreleasepool {
        for (NSRunningApplication* application in NSWorkspace.sharedWorkspace.runningApplications) {
            NSString* name = application.localizedName;
            if (application.terminated || name == nil)
                continue;
            names.emplace_back(name.UTF8String);
        }
    }
    return names;
}

} // namespace dravik
