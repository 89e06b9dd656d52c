#include "system/qt/QtAlerts.h"

#include "platform/MainThread.h"
#include "system/qt/QtApplication.h"

#include <QApplication>
#include <QMessageBox>

namespace dravik {

namespace {

QWidget* frontWindow() {
    QWidget* window = QApplication::activeWindow();
    if (!window) {
        const auto windows = QApplication::topLevelWidgets();
        for (QWidget* candidate : windows)
            if (candidate->isVisible() && candidate->isWindow() && !candidate->parentWidget())
                return candidate;
    }
    return window;
}

bool showBox(QMessageBox::Icon icon, const std::string& text, bool withCancel) {
    QtApplication::ensure();
    QMessageBox box(icon, QApplication::applicationName(), QString::fromStdString(text),
                    withCancel ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok,
                    frontWindow());
    box.setObjectName("alert");
    box.setDefaultButton(QMessageBox::Ok);
    return box.exec() == QMessageBox::Ok;
}

} // namespace

void QtAlerts::critical(const std::string& text) {
    m_mainThread.postAndWait([&] { showBox(QMessageBox::Critical, text, false); });
}

bool QtAlerts::criticalOkCancel(const std::string& text) {
    bool ok = false;
    m_mainThread.postAndWait([&] { ok = showBox(QMessageBox::Critical, text, true); });
    return ok;
}

bool QtAlerts::informationalOkCancel(const std::string& text) {
    bool ok = false;
    m_mainThread.postAndWait([&] { ok = showBox(QMessageBox::Information, text, true); });
    return ok;
}

} // namespace dravik
