#include "system/qt/QtDesktop.h"

#include "platform/DisplaySettings.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QScreen>
#include <QUrl>

namespace dravik {

bool QtDesktop::openUrl(const std::string& url) {
    QUrl address(QString::fromStdString(url), QUrl::StrictMode);
    if (!address.isValid() || address.scheme().isEmpty() || address.host().isEmpty())
        return false;
    return QDesktopServices::openUrl(address);
}

void QtDesktop::openDisplaySettings() {
    m_displaySettings.open();
}

std::pair<int, int> QtDesktop::mainDisplaySize() {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return {0, 0};
    QSize size = screen->size();
    return {size.width(), size.height()};
}

} // namespace dravik
