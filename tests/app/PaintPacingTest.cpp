#include "app/controls/PaintPacing.h"

#include "support/qt/UiTesting.h"

#include <QElapsedTimer>
#include <QEvent>
#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>
#include <gtest/gtest.h>

namespace dravik {
namespace {

using namespace std::chrono_literals;

struct PaintCounter : QObject {
    int paints = 0;
    QString textAtLastPaint;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++paints;
            textAtLastPaint = static_cast<QLabel*>(watched)->text();
        }
        return false;
    }
};

// A burst of changes paints a few times, and the last text is painted, not lost with the
// updates held back.
TEST(PaintPacingTest, ABurstOfChangesPaintsAFewTimesAndEndsWithTheLastText) {
    QWidget window;
    auto* label = new QLabel("0", &window);
    (new QVBoxLayout(&window))->addWidget(label);
    window.show();
    ASSERT_TRUE(test::waitUntil([&] { return window.isVisible(); }));
    test::waitFor(50ms);
    PaintPacing pacing(window);
    PaintCounter counter;
    label->installEventFilter(&counter);

    QElapsedTimer burst;
    burst.start();
    for (int i = 1; i <= 300; ++i) {
        label->setText(QString::number(i));
        QCoreApplication::processEvents();
    }
    const qint64 frames = burst.elapsed() / 10; // a display of at most 100 Hz
    ASSERT_TRUE(test::waitUntil([&] { return counter.textAtLastPaint == "300"; }));
    EXPECT_LE(counter.paints, frames + 5);
}

} // namespace
} // namespace dravik
