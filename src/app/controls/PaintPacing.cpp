#include "app/controls/PaintPacing.h"

#include <QCoreApplication>
#include <QEvent>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <utility>

namespace dravik {

namespace {

std::chrono::milliseconds frameOf(const QWidget& window) {
    constexpr double kUsualRate = 60;
    const QScreen* screen = window.screen();
    const double rate = screen && screen->refreshRate() >= 1 ? screen->refreshRate() : kUsualRate;
    return std::chrono::milliseconds(std::clamp(std::lround(1000 / rate), 1L, 100L));
}

} // namespace

PaintPacing::PaintPacing(QWidget& window) : m_window(window), m_frame(frameOf(window)) {
    m_nextFrame.setSingleShot(true);
    connect(&m_nextFrame, &QTimer::timeout, this, &PaintPacing::nextFrame);
    // Not on the window alone: a widget's layout takes its requests before the widget's own
    // filters see them.
    QCoreApplication::instance()->installEventFilter(this);
}

// What waits for the next frame is still done: a request held back is not asked for again.
PaintPacing::~PaintPacing() {
    for (const QPointer<QWidget>& widget : m_heldLayouts)
        if (widget)
            QCoreApplication::postEvent(widget, new QEvent(QEvent::LayoutRequest));
    if (m_paintHeld)
        QCoreApplication::postEvent(&m_window, new QEvent(QEvent::UpdateRequest));
}

// The first request of a frame passes; the ones after it wait for the next frame. A request held
// back leaves its layout invalid, or the window's dirty areas in place, and the request sent at
// the next frame does them all. A label's new text asks the layout it is in to measure it again,
// which costs more than painting it.
bool PaintPacing::eventFilter(QObject* watched, QEvent* event) {
    const bool paint = event->type() == QEvent::UpdateRequest && watched == &m_window;
    const bool layout = event->type() == QEvent::LayoutRequest && watched->isWidgetType() &&
                        static_cast<QWidget*>(watched)->window() == &m_window;
    if ((!paint && !layout) || m_passing)
        return false;
    const auto since =
        std::chrono::milliseconds(m_frameStart.isValid() ? m_frameStart.elapsed() : 0);
    if (!m_frameStart.isValid() || since >= m_frame) {
        m_frameStart.start();
        return false;
    }
    if (paint) {
        m_paintHeld = true;
    } else {
        QPointer<QWidget> widget(static_cast<QWidget*>(watched));
        if (std::find(m_heldLayouts.begin(), m_heldLayouts.end(), widget) == m_heldLayouts.end())
            m_heldLayouts.push_back(widget);
    }
    if (!m_nextFrame.isActive())
        m_nextFrame.start(m_frame - since);
    return true;
}

void PaintPacing::nextFrame() {
    m_frameStart.start();
    m_passing = true;
    for (const QPointer<QWidget>& widget : std::exchange(m_heldLayouts, {})) {
        if (widget) {
            QEvent request(QEvent::LayoutRequest);
            QCoreApplication::sendEvent(widget, &request);
        }
    }
    if (std::exchange(m_paintHeld, false)) {
        QEvent request(QEvent::UpdateRequest);
        QCoreApplication::sendEvent(&m_window, &request);
    }
    m_passing = false;
}

} // namespace dravik
