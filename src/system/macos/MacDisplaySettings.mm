#include "system/macos/MacDisplaySettings.h"

#import <AppKit/AppKit.h>

namespace dravik {

void MacDisplaySettings::open() {
    @autoreleasepool {
        NSURL* pane = [NSURL fileURLWithPath:@"/System/Library/PreferencePanes/Displays.prefPane"];
        [NSWorkspace.sharedWorkspace openURL:pane];
    }
}

} // namespace dravik
