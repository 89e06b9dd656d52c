#include "app/WindowController.h"

#include "app/Storyboard.h"
#include "app/ViewChangeSegue.h"
#include "common/Launcher.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QMenu>
#include <QMenuBar>
#include <QVBoxLayout>

namespace dravik {

WindowController::WindowController(Launcher& launcher, const Storyboard& storyboard)
    : m_launcher(launcher), m_storyboard(storyboard) {
    setObjectName("mainWindow");
    m_container = new QWidget(this);
    auto* layout = new QVBoxLayout(m_container);
    layout->setContentsMargins(0, 0, 0, 0);
    setCentralWidget(m_container);
}

void WindowController::windowDidLoad() {
    m_launcher.writeLog("windowDidLoad");
}

bool WindowController::windowShouldClose() {
    if (m_launcher.closeBlocked) {
        m_launcher.closeRequested = true;
        m_launcher.writeLog("windowShouldClose->false");
        return false;
    }
    m_launcher.writeLog("windowShouldClose->true");
    return true;
}

void WindowController::windowWillClose() {
    QApplication::quit();
    m_launcher.writeLog("windowWillClose");
}

void WindowController::closeEvent(QCloseEvent* event) {
    // A close asked for by the program itself (a finished transfer) is not asked again.
    if (!m_closing && !windowShouldClose()) {
        event->ignore();
        return;
    }
    event->accept();
    windowWillClose();
}

void WindowController::setContentViewController(QWidget* view) {
    m_content = view;
    m_container->layout()->addWidget(view);
    view->show();
    adjustSize();
    emit viewChanged(view);
}

bool WindowController::performSegue(const QString& identifier, const Prepare& prepare) {
    if (!m_storyboard.contains(identifier))
        return false;
    QWidget* destination = m_storyboard.instantiate(identifier, m_launcher, *this);
    if (!destination)
        return false;
    if (prepare)
        prepare(destination);
    if (m_storyboard.presentation(identifier) == Storyboard::Presentation::Sheet) {
        presentSheet(destination);
        return true;
    }
    QWidget* source = m_content;
    m_content = destination;
    if (!source) {
        setContentViewController(destination);
        return true;
    }
    ViewChangeSegue::perform(source, destination,
                             [this, destination] { emit viewChanged(destination); });
    return true;
}

QWidget* WindowController::currentSheet() const {
    for (auto it = m_sheets.rbegin(); it != m_sheets.rend(); ++it)
        if (*it)
            return *it;
    return nullptr;
}

void WindowController::presentSheet(QWidget* view) {
    QWidget* owner = currentSheet() ? currentSheet()->window() : static_cast<QWidget*>(this);
    auto* sheet = new QDialog(owner, Qt::Sheet);
    sheet->setObjectName("sheet");
    sheet->setWindowModality(Qt::WindowModal);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->setWindowTitle(view->windowTitle());
    auto* layout = new QVBoxLayout(sheet);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view);
    std::erase_if(m_sheets, [](const QPointer<QWidget>& shown) { return shown.isNull(); });
    m_sheets.emplace_back(view);
    sheet->adjustSize();
    // Centred on the window it belongs to.
    QRect frame = sheet->frameGeometry();
    frame.moveCenter(owner->geometry().center());
    sheet->move(frame.topLeft());
    sheet->show();
}

QMenu* WindowController::menuTitled(const QString& title) const {
    for (QAction* action : menuBar()->actions())
        if (action->menu() && action->text() == title)
            return action->menu();
    return nullptr;
}

void WindowController::hideMenuItem(const QString& menuTitle, const QString& itemTitle) {
    if (QMenu* menu = menuTitled(menuTitle))
        for (QAction* action : menu->actions())
            if (action->text() == itemTitle)
                action->setVisible(false);
}

void WindowController::setMenuItemsEnabled(const QString& menuTitle, bool enabled) {
    if (QMenu* menu = menuTitled(menuTitle))
        for (QAction* action : menu->actions())
            action->setEnabled(enabled);
}

void WindowController::closeWindow() {
    m_closing = true;
    close();
}

void WindowController::bringToFront() {
    showNormal();
    raise();
    activateWindow();
}

} // namespace dravik
