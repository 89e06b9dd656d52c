#pragma once

#include <QRect>
#include <functional>

class QWidget;

namespace dravik {

// Replaces the window's content view: the window's frame animates to the destination's size with
// its top edge kept in place, then the destination view shows.
class ViewChangeSegue {
public:
    // The window frame that fits the destination and keeps the top edge where it is.
    static QRect frameFor(const QRect& windowFrame, int sourceHeight, const QSize& destination);

    static void perform(QWidget* source, QWidget* destination, std::function<void()> done = {});
};

} // namespace dravik
