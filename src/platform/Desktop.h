#pragma once

#include <string>
#include <utility>

namespace dravik {

// What the desktop offers alike on every system: the browser, the display settings and the main
// display's size.
class Desktop {
public:
    virtual ~Desktop() = default;

    // Opens an address in the default browser; false when it is not a valid address.
    virtual bool openUrl(const std::string& url) = 0;
    // Opens the system's display settings, where the desktop has such a page.
    virtual void openDisplaySettings() = 0;
    // Width and height of the main display in pixels.
    virtual std::pair<int, int> mainDisplaySize() = 0;
};

} // namespace dravik
