#include "system/RunningBundle.h"

#include "common/File.h"

namespace dravik {

BundleInfo readBundle(const std::string& bundlePath) {
    BundleInfo info;
    info.bundlePath = bundlePath;
    info.resourcesPath = bundlePath + "/Contents/Resources";
    if (Expected<std::string> plist = File::readAll(bundlePath + "/Contents/Info.plist")) {
        info.shortVersion = infoPlistValue(*plist, "CFBundleShortVersionString");
        info.buildVersion = infoPlistValue(*plist, "CFBundleVersion");
    }
    return info;
}

std::string infoPlistValue(const std::string& plist, const std::string& key) {
    const std::string keyTag = "<key>" + key + "</key>";
    size_t at = plist.find(keyTag);
    if (at == std::string::npos)
        return {};
    size_t open = plist.find("<string>", at + keyTag.size());
    size_t nextKey = plist.find("<key>", at + keyTag.size());
    if (open == std::string::npos || (nextKey != std::string::npos && nextKey < open))
        return {};
    open += 8;
    size_t close = plist.find("</string>", open);
    return close == std::string::npos ? std::string() : plist.substr(open, close - open);
}

std::vector<std::string> missingVersionNotes(const BundleInfo& bundle) {
    std::vector<std::string> notes;
    for (const auto& [key, value] : {std::pair{"CFBundleShortVersionString", &bundle.shortVersion},
                                     std::pair{"CFBundleVersion", &bundle.buildVersion}})
        if (value->empty())
            notes.push_back("Info.plist of " + bundle.bundlePath + " gives no " + key);
    return notes;
}

} // namespace dravik
