#include "system/macos/MacBackgroundActivity.h"

#import <Foundation/Foundation.h>

namespace dravik {

namespace {

// Ends the activity when it goes.
class ActivityHold : public BackgroundActivity::Hold {
public:
    explicit ActivityHold(id<NSObject> token) : m_token(token) {}
    ~ActivityHold() override {
        @autoreleasepool {
            [NSProcessInfo.processInfo endActivity:m_token];
        }
    }

private:
    id<NSObject> m_token; // strong: the activity lasts while the token is held
};

} // namespace

std::unique_ptr<BackgroundActivity::Hold> MacBackgroundActivity::begin(const std::string& reason) {
    @autoreleasepool {
        NSString* text = [NSString stringWithUTF8String:reason.c_str()];
        id<NSObject> token = [NSProcessInfo.processInfo
            beginActivityWithOptions:NSActivityUserInitiatedAllowingIdleSystemSleep
                              reason:text != nil ? text : @"Dravik"];
        return std::make_unique<ActivityHold>(token);
    }
}

} // namespace dravik
