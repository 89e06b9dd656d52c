#pragma once

#include <QLabel>

namespace dravik {

// A label that shows its text as a link to url, in the link colour, optionally without a
// visible underline. An invalid address leaves the plain text.
class LinkLabel : public QLabel {
    Q_OBJECT
    Q_PROPERTY(QString url READ url WRITE setUrl)
    Q_PROPERTY(bool hideUnderline READ hideUnderline WRITE setHideUnderline)

public:
    explicit LinkLabel(QWidget* parent = nullptr);

    QString url() const { return m_url; }
    void setUrl(const QString& url);
    bool hideUnderline() const { return m_hideUnderline; }
    void setHideUnderline(bool hide);

    // The caption without markup.
    QString caption() const { return m_caption; }
    void setCaption(const QString& caption);

    // Rebuilds the displayed text from the caption and the url.
    void awakeFromNib();

    static bool isValidAddress(const QString& url);

signals:
    void linkClicked(const QString& url);

private:
    QString m_url;
    QString m_caption;
    bool m_hideUnderline = false;
};

} // namespace dravik
