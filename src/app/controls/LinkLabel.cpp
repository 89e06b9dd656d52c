#include "app/controls/LinkLabel.h"

#include <QUrl>

namespace dravik {

LinkLabel::LinkLabel(QWidget* parent) : QLabel(parent) {
    setCursor(Qt::PointingHandCursor);
    setTextInteractionFlags(Qt::TextBrowserInteraction);
    setOpenExternalLinks(false);
    connect(this, &QLabel::linkActivated, this,
            [this](const QString& link) { emit linkClicked(link); });
}

void LinkLabel::setUrl(const QString& url) {
    m_url = url;
    awakeFromNib();
}

void LinkLabel::setHideUnderline(bool hide) {
    m_hideUnderline = hide;
    awakeFromNib();
}

void LinkLabel::setCaption(const QString& caption) {
    m_caption = caption;
    awakeFromNib();
}

bool LinkLabel::isValidAddress(const QString& url) {
    QUrl address(url, QUrl::StrictMode);
    return address.isValid() && !address.scheme().isEmpty() && !address.host().isEmpty();
}

void LinkLabel::awakeFromNib() {
    if (m_caption.isEmpty() && textFormat() != Qt::RichText)
        m_caption = text();
    setTextFormat(Qt::RichText);
    if (!isValidAddress(m_url)) {
        setText(m_caption.toHtmlEscaped());
        return;
    }
    QString colour = palette().color(QPalette::Link).name();
    QString decoration = m_hideUnderline ? "none" : "underline";
    setText(QString("<a href=\"%1\" style=\"color:%2; text-decoration:%3;\">%4</a>")
                .arg(m_url.toHtmlEscaped(), colour, decoration, m_caption.toHtmlEscaped()));
}

} // namespace dravik
