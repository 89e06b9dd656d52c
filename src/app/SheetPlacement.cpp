#include "app/SheetPlacement.h"

#include <QEvent>
#include <QLayout>
#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace dravik {

namespace {

QMargins frameMargins(const QWidget* window) {
    QRect frame = window->frameGeometry(), inner = window->geometry();
    return {inner.left() - frame.left(), inner.top() - frame.top(), frame.right() - inner.right(),
            frame.bottom() - inner.bottom()};
}

} // namespace

SheetPlacement::SheetPlacement(QWidget* view, std::function<QWidget*()> owner)
    : QObject(view), m_view(view), m_owner(std::move(owner)) {}

void SheetPlacement::follow() {
    QWidget* current = m_view->window();
    if (current == m_view || current == m_window)
        return;
    if (m_window)
        m_window->removeEventFilter(this);
    m_window = current;
    current->installEventFilter(this);
}

bool SheetPlacement::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_window)
        return false;
    switch (event->type()) {
    case QEvent::LayoutRequest:
        // Filters run before the layout itself; its pass is finished first so the size is final.
        if (QLayout* layout = m_window->layout())
            layout->activate();
        place();
        break;
    case QEvent::Show:
    case QEvent::Resize:
        place();
        break;
    case QEvent::Move:
        // A window manager may put its frame around the window only after it is shown; the
        // centre then has to take the frame into account.
        if (frameMargins(m_window) != m_centredMargins)
            place();
        break;
    default:
        break;
    }
    return false;
}

void SheetPlacement::place() {
    QWidget* frame = m_view->window();
    if (frame == m_view)
        return;
    if (QLayout* layout = frame->layout()) {
        if (layout->sizeConstraint() != QLayout::SetFixedSize) {
            layout->setSizeConstraint(QLayout::SetFixedSize);
            layout->activate();
        }
    } else {
        frame->setFixedSize(frame->size());
    }

    QWidget* owner = m_owner() ? m_owner()->window() : nullptr;
    if (!owner || owner == frame)
        return;
    m_centredMargins = frameMargins(frame);
    QRect outer = owner->frameGeometry();
    QSize own = frame->frameGeometry().size();
    QPoint origin(outer.x() + outer.width() / 2 - own.width() / 2,
                  outer.y() + outer.height() / 2 - own.height() / 2);
    // An owner smaller than the sheet near a screen edge must not push the sheet off the screen.
    QRect screenArea = owner->screen()->availableGeometry();
    origin.setX(std::clamp(origin.x(), screenArea.left(),
                           std::max(screenArea.left(), screenArea.right() + 1 - own.width())));
    origin.setY(std::clamp(origin.y(), screenArea.top(),
                           std::max(screenArea.top(), screenArea.bottom() + 1 - own.height())));
    if (frame->frameGeometry().topLeft() != origin)
        frame->move(origin);
}

} // namespace dravik
