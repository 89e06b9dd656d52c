#include "app/controls/PaintPacing.h"

#include <QCoreApplication>
#include <QEvent>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <cmath>

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
    connect(&m_nextFrame, &QTimer::timeout, this, &PaintPacing::paintNow);
    window.installEventFilter(this);
}

// An update request held back leaves the window's dirty areas in place; the request sent at the
// next frame paints them all.
bool PaintPacing::eventFilter(QObject* watched, QEvent* event) {
    if (watched != &m_window || event->type() != QEvent::UpdateRequest || m_passing)
        return false;
    const auto since = std::chrono::milliseconds(m_lastPaint.isValid() ? m_lastPaint.elapsed() : 0);
    if (!m_lastPaint.isValid() || since >= m_frame) {
        m_lastPaint.start();
        return false;
    }
    if (!m_nextFrame.isActive())
        m_nextFrame.start(m_frame - since);
    return true;
}

void PaintPacing::paintNow() {
    m_lastPaint.start();
    QEvent request(QEvent::UpdateRequest);
    m_passing = true;
    QCoreApplication::sendEvent(&m_window, &request);
    m_passing = false;
}

} // namespace dravik
