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

// Counts how often a layout measures it.
struct MeasuredLabel : QLabel {
    using QLabel::QLabel;
    mutable int measures = 0;
    QSize sizeHint() const override {
        ++measures;
        return QLabel::sizeHint();
    }
};

struct PaintCounter : QObject {
    int paints = 0;
    QString textAtLastPaint;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (auto* label = qobject_cast<QLabel*>(watched); label && event->type() == QEvent::Paint) {
            ++paints;
            textAtLastPaint = label->text();
        }
        return false;
    }
};

// A burst of new texts in a view inside the window lays the view out and paints it a few times,
// and ends with the last text painted at the size it needs: nothing held back is lost.
TEST(PaintPacingTest, ABurstOfChangesIsLaidOutAndPaintedAFewTimesAndEndsWithTheLastText) {
    QWidget window;
    auto* view = new QWidget(&window);
    (new QVBoxLayout(&window))->addWidget(view);
    auto* label = new MeasuredLabel("0", view);
    (new QVBoxLayout(view))->addWidget(label, 0, Qt::AlignLeft);
    window.resize(600, 200); // wide enough for every text: the window itself keeps its size
    window.show();
    ASSERT_TRUE(test::waitUntil([&] { return window.isVisible(); }));
    test::waitFor(50ms);
    PaintPacing pacing(window);
    PaintCounter counter;
    label->installEventFilter(&counter);
    label->measures = 0;

    QElapsedTimer burst;
    burst.start();
    for (int i = 1; i <= 300; ++i) {
        label->setText(QString(i / 30 + 1, 'x') + QString::number(i));
        QCoreApplication::processEvents();
    }
    const qint64 frames = burst.elapsed() / 10; // a display of at most 100 Hz
    const QString last = QString(11, 'x') + "300";
    ASSERT_TRUE(test::waitUntil([&] { return counter.textAtLastPaint == last; }));
    EXPECT_LE(counter.paints, frames + 5);
    EXPECT_LE(label->measures, frames + 5);
    ASSERT_TRUE(test::waitUntil([&] { return label->width() >= label->sizeHint().width(); }));
}

} // namespace
} // namespace dravik
