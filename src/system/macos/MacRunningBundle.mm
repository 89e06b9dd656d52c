#include "system/RunningBundle.h"

#import <Foundation/Foundation.h>

namespace dravik {

namespace {

std::string utf8(NSString* text) {
    const char* bytes = text.UTF8String;
    return bytes ? bytes : "";
}

// A value of the bundle's Info.plist that is a string, else empty.
std::string infoValue(NSBundle* bundle, NSString* key) {
    id value = [bundle objectForInfoDictionaryKey:key];
    if (![value isKindOfClass:[NSString class]])
        return {};
    NSString* text = value;
    return utf8(text);
}

} // namespace

BundleInfo locateRunningBundle() {
    BundleInfo info;
    @autoreleasepool {
        NSBundle* bundle = NSBundle.mainBundle;
        info.bundlePath = utf8(bundle.bundlePath);
        info.resourcesPath = info.bundlePath + "/Contents/Resources";
        info.shortVersion = infoValue(bundle, @"CFBundleShortVersionString");
        info.buildVersion = infoValue(bundle, @"CFBundleVersion");
    }
    return info;
}

std::string privateFolderPath() {
    std::string folder;
    @autoreleasepool {
        NSArray<NSString*>* libraries =
            NSSearchPathForDirectoriesInDomains(NSLibraryDirectory, NSUserDomainMask, YES);
        folder = libraries.count > 0 ? utf8(libraries.firstObject) : utf8(NSHomeDirectory());
    }
    return folder + "/Dravik";
}

} // namespace dravik
