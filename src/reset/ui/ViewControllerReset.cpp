#include "reset/ui/ViewControllerReset.h"

#include "app/SheetPlacement.h"
#include "app/controls/QtText.h"
#include "common/Launcher.h"
#include "reset/ResetActions.h"
#include "ui_ViewControllerReset.h"

#include <QEvent>
#include <QLayout>

namespace dravik {

namespace {

bool isOn(const QCheckBox* box) {
    return box->checkState() == Qt::Checked;
}

} // namespace

ViewControllerReset::ViewControllerReset(Launcher& launcher, WindowController&, QWidget* parent)
    : QWidget(parent), m_launcher(launcher), m_ui(std::make_unique<Ui::ViewControllerReset>()),
      m_placement(new SheetPlacement(this, [this] { return parentWindow(); })) {
    m_ui->setupUi(this);
    connect(m_ui->buttonOK, &QPushButton::clicked, this, &ViewControllerReset::buttonOK_Click);
    connect(m_ui->buttonCancel, &QPushButton::clicked, this,
            &ViewControllerReset::buttonCancel_Click);
    viewDidLoad();
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
    // The window that wraps the view changes when the view is put into its sheet.
    if (event->type() == QEvent::ParentChange) {
        if (window() != this)
            window()->setWindowTitle(windowTitle());
        m_placement->follow();
    }
    return QWidget::event(event);
}

} // namespace dravik
