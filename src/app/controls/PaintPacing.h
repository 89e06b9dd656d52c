#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <chrono>
#include <vector>

class QWidget;

namespace dravik {

// Lets a window lay out and repaint at most once a frame of its screen. Texts and values change
// at once; the layouts and the painting asked for in between are done together at the next
// frame, so a view that changes its labels thousands of times a second measures and paints them
// no more often than the display shows them.
class PaintPacing : public QObject {
public:
    // Watches window and the widgets in it while this object lives; it must not outlive the
    // window.
    explicit PaintPacing(QWidget& window);
    ~PaintPacing() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void nextFrame();

    QWidget& m_window;
    std::chrono::milliseconds m_frame;
    QElapsedTimer m_frameStart;
    QTimer m_nextFrame;
    std::vector<QPointer<QWidget>> m_heldLayouts; // in the order they were asked for
    bool m_paintHeld = false;
    bool m_passing = false;
};

} // namespace dravik
