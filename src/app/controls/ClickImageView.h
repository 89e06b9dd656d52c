#pragma once

#include <QLabel>

class QMovie;

namespace dravik {

// An image (animated when it is a GIF) that opens its url on a single click.
class ClickImageView : public QLabel {
    Q_OBJECT
    Q_PROPERTY(QString url READ url WRITE setUrl)

public:
    explicit ClickImageView(QWidget* parent = nullptr);

    QString url() const { return m_url; }
    void setUrl(const QString& url) { m_url = url; }

    // Shows the image file and starts its animation; false when it cannot be read.
    bool setImageFile(const QString& path);

signals:
    // A single click; the receiver opens the address when it is valid.
    void clicked(const QString& url);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QString m_url;
    QMovie* m_movie = nullptr;
};

} // namespace dravik
