#include "app/ViewChangeSegue.h"

#include <QLayout>
#include <QPropertyAnimation>
#include <QWidget>

namespace dravik {

QRect ViewChangeSegue::frameFor(const QRect& windowFrame, int sourceHeight,
                                const QSize& destination) {
    int chrome = windowFrame.height() - sourceHeight; // menu bar, frame and the like
    return QRect(windowFrame.left(), windowFrame.top(), destination.width(),
                 destination.height() + chrome);
}

void ViewChangeSegue::perform(QWidget* source, QWidget* destination, std::function<void()> done) {
    QWidget* superview = source->parentWidget();
    QWidget* window = source->window();
    QSize size = destination->sizeHint().expandedTo(destination->minimumSize());
    QRect target = frameFor(window->geometry(), source->height(), size);

    // The destination takes the source's place, pinned to the superview's edges, hidden until
    // the window has its new size.
    destination->setParent(superview);
    destination->hide();
    if (QLayout* layout = superview ? superview->layout() : nullptr) {
        // The layout hands the source's old item back to the caller.
        delete layout->replaceWidget(source, destination);
    }
    source->hide(); // kept as a child, as a parent view controller keeps its children

    auto* animation = new QPropertyAnimation(window, "geometry", window);
    animation->setDuration(200);
    animation->setEndValue(target);
    QObject::connect(animation, &QPropertyAnimation::finished, destination,
                     [destination, window, target, done = std::move(done)] {
                         window->setGeometry(target);
                         destination->show();
                         if (done)
                             done();
                     });
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

} // namespace dravik
