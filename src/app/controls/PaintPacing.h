#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <chrono>

class QWidget;

namespace dravik {

// Lets a window repaint at most once a frame of its screen. Texts and values change at once; the
// painting asked for in between is done together at the next frame, so a view that changes its
// labels thousands of times a second paints no more often than the display shows.
class PaintPacing : public QObject {
public:
    // Watches window while this object lives; it must not outlive the window.
    explicit PaintPacing(QWidget& window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void paintNow();

    QWidget& m_window;
    std::chrono::milliseconds m_frame;
    QElapsedTimer m_lastPaint;
    QTimer m_nextFrame;
    bool m_passing = false;
};

} // namespace dravik
