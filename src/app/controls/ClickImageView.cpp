#include "app/controls/ClickImageView.h"

#include <QMouseEvent>
#include <QMovie>

namespace dravik {

ClickImageView::ClickImageView(QWidget* parent) : QLabel(parent) {
    setCursor(Qt::PointingHandCursor);
    setAlignment(Qt::AlignCenter);
}

bool ClickImageView::setImageFile(const QString& path) {
    auto* movie = new QMovie(path, QByteArray(), this);
    if (!movie->isValid()) {
        delete movie;
        QPixmap image(path);
        if (image.isNull())
            return false;
        setPixmap(image);
        return true;
    }
    if (m_movie)
        m_movie->deleteLater();
    m_movie = movie;
    setMovie(movie);
    movie->start();
    return true;
}

void ClickImageView::mousePressEvent(QMouseEvent* event) {
    // The first press of a click sequence; a double click's second press arrives as a
    // double-click event and opens nothing.
    if (event->button() == Qt::LeftButton)
        emit clicked(m_url);
    QLabel::mousePressEvent(event);
}

void ClickImageView::mouseDoubleClickEvent(QMouseEvent* event) {
    event->accept();
}

} // namespace dravik
