#include "platform/RunningBundle.h"

#include "common/File.h"

namespace dravik {

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

} // namespace dravik
