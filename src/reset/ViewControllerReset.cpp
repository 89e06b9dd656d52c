#include "reset/ViewControllerReset.h"

#include "common/Launcher.h"
#include "reset/ResetActions.h"
#include "ui_ViewControllerReset.h"

#include <QEvent>
#include <QLayout>

namespace dravik {

namespace {

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

bool isOn(const QCheckBox* box) {
    return box->checkState() == Qt::Checked;
}

QMargins frameMargins(const QWidget* window) {
    QRect frame = window->frameGeometry(), inner = window->geometry();
    return {inner.left() - frame.left(), inner.top() - frame.top(), frame.right() - inner.right(),
            frame.bottom() - inner.bottom()};
}

} // namespace

ViewControllerReset::ViewControllerReset(Launcher& launcher, WindowController&, QWidget* parent)
    : QWidget(parent), m_launcher(launcher), m_ui(std::make_unique<Ui::ViewControllerReset>()) {
    m_ui->setupUi(this);
    connect(m_ui->buttonOK, &QPushButton::clicked, this, &ViewControllerReset::buttonOK_Click);
    connect(m_ui->buttonCancel, &QPushButton::clicked, this,
            &ViewControllerReset::buttonCancel_Click);
    viewDidLoad();
    watchWindow();
}

ViewControllerReset::~ViewControllerReset() = default;

void ViewControllerReset::viewDidLoad() {
    const Ini& ini = m_launcher.ini;
    setWindowTitle(qs(ini.message("msg35")));
    m_ui->checkBox_resetParameter->setText(qs(ini.message("msg37")));
    m_ui->checkBox_deleteCache->setText(qs(ini.message("msg38")));
    m_ui->checkBox_deleteApp->setText(qs(ini.message("msg39")));
    m_ui->textBox_description->setText(qs(ini.message("msg40")));
    m_ui->checkBox_deleteEmail->setText(qs(ini.message("msg41")));
    m_ui->checkBox_deleteInviteCode->setText(qs(ini.message("msg42")));
}

ResetChoices ViewControllerReset::choices() const {
    ResetChoices choices;
    choices.resetParameter = isOn(m_ui->checkBox_resetParameter);
    choices.deleteCache = isOn(m_ui->checkBox_deleteCache);
    choices.deleteEmail = isOn(m_ui->checkBox_deleteEmail);
    choices.deleteInviteCode = isOn(m_ui->checkBox_deleteInviteCode);
    choices.deleteApp = isOn(m_ui->checkBox_deleteApp);
    choices.resetParameterAllowed = _bResetParameter;
    return choices;
}

void ViewControllerReset::buttonOK_Click() {
    ResetActions(m_launcher).run(choices());
    callResultHandler();
    window()->close();
}

void ViewControllerReset::buttonCancel_Click() {
    window()->close();
}

bool ViewControllerReset::event(QEvent* event) {
    if (event->type() == QEvent::ParentChange)
        watchWindow();
    return QWidget::event(event);
}

// The window that wraps the view changes when the view is put into a sheet; its layout passes
// and resizes are followed from there.
void ViewControllerReset::watchWindow() {
    QWidget* current = window();
    if (current == m_watchedWindow)
        return;
    if (m_watchedWindow)
        m_watchedWindow->removeEventFilter(this);
    m_watchedWindow = current;
    current->installEventFilter(this);
}

bool ViewControllerReset::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_watchedWindow) {
        switch (event->type()) {
        case QEvent::LayoutRequest:
            // Filters run before the layout itself; finish its pass first so the size is final.
            if (QLayout* layout = m_watchedWindow->layout())
                layout->activate();
            viewDidLayout();
            break;
        case QEvent::Show:
        case QEvent::Resize:
            viewDidLayout();
            break;
        case QEvent::Move:
            // A window manager may add the window's frame only after it is shown; the centre
            // then has to take the frame into account.
            if (frameMargins(m_watchedWindow) != m_centredMargins)
                viewDidLayout();
            break;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void ViewControllerReset::viewDidLayout() {
    QWidget* frame = window();
    if (frame != this && frame->windowTitle() != windowTitle())
        frame->setWindowTitle(windowTitle());

    // Not resizable: the window keeps the size its layout asks for.
    if (QLayout* layout = frame->layout()) {
        if (layout->sizeConstraint() != QLayout::SetFixedSize) {
            layout->setSizeConstraint(QLayout::SetFixedSize);
            layout->activate();
        }
    } else {
        frame->setFixedSize(frame->size());
    }

    QWidget* parent = parentWindow() ? parentWindow()->window() : nullptr;
    if (!parent || parent == frame)
        return;
    QRect parentFrame = parent->frameGeometry();
    QSize own = frame->frameGeometry().size();
    QPoint origin(parentFrame.x() + parentFrame.width() / 2 - own.width() / 2,
                  parentFrame.y() + parentFrame.height() / 2 - own.height() / 2);
    m_centredMargins = frameMargins(frame);
    if (frame->pos() != origin)
        frame->move(origin);
    frame->update();
}

} // namespace dravik
