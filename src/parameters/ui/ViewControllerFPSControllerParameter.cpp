#include "parameters/ui/ViewControllerFPSControllerParameter.h"

#include "app/SheetPlacement.h"
#include "app/WindowController.h"
#include "app/controls/QtText.h"
#include "common/Diagnostics.h"
#include "common/Launcher.h"
#include "common/LauncherSettings.h"
#include "parameters/BgmList.h"
#include "parameters/ParameterFile.h"
#include "parameters/ParameterTexts.h"
#include "parameters/ui/ParameterEditorControls.h"
#include "parameters/ui/ParameterEditorGeometry.h"
#include "platform/Alerts.h"
#include "platform/Desktop.h"
#include "service/VersionRules.h"
#include "ui_ViewControllerFPSControllerParameter.h"

#include <QKeyEvent>

namespace dravik {

using Controls = ParameterEditorControls;
using Geometry = ParameterEditorGeometry;

ViewControllerFPSControllerParameter::ViewControllerFPSControllerParameter(Launcher& launcher,
                                                                           WindowController& window,
                                                                           QWidget* parent)
    : QWidget(parent), m_launcher(launcher), m_window(window),
      m_ui(std::make_unique<Ui::ViewControllerFPSControllerParameter>()),
      m_preview(std::make_unique<BgmPreview>(launcher.platform.audio, BgmList::folder(launcher))),
      m_placement(new SheetPlacement(this, [this] { return parentWindow(); })) {
    m_ui->setupUi(this);
    m_controls = new Controls(this, *m_ui);
    connectControls();
    viewDidLoad();

    ensurePolished();
    Geometry::alignColumns(
        {{m_ui->groupBox_operation, m_ui->groupBox_data, m_ui->groupBox_launcher},
         {m_ui->groupBox_sound, m_ui->groupBox_display}});
    Geometry::fitToScreen(m_ui->scrollArea, m_ui->scrollContents);
}

ViewControllerFPSControllerParameter::~ViewControllerFPSControllerParameter() = default;

void ViewControllerFPSControllerParameter::connectControls() {
    using Self = ViewControllerFPSControllerParameter;
    connect(m_ui->buttonSave, &QPushButton::clicked, this, &Self::buttonSave_Click);
    connect(m_ui->buttonCancel, &QPushButton::clicked, this, &Self::buttonCancel_Click);
    connect(m_ui->button_reset, &QPushButton::clicked, this, &Self::buttonReset_Click);
    connect(m_ui->button_display, &QPushButton::clicked, this, &Self::button_display_Click);
    connect(m_ui->button_play, &QPushButton::clicked, this, &Self::button_play_Click);
    connect(m_ui->button_showroom_play, &QPushButton::clicked, this,
            &Self::button_showroom_play_Click);
    connect(m_ui->comboBox_resolution, &QComboBox::currentIndexChanged, this,
            &Self::comboBox_resolution_SelectedIndexChanged);
    connect(m_ui->comboBox_optionBGMName, &QComboBox::currentIndexChanged, this,
            &Self::comboBox_optionBGMName_Change);
    connect(m_ui->comboBox_showroomBGMName, &QComboBox::currentIndexChanged, this,
            &Self::comboBox_showroomBGMName_Change);
    // The two music volumes also set the preview's volume.
    m_controls->numberChanged = [this](QDoubleSpinBox* stepper) {
        if (stepper == m_ui->stepper_optionBGMRate)
            optionBGMRate_Change();
        else if (stepper == m_ui->stepper_showroomBGMRate)
            showroomBGMRate_Change();
    };
}

void ViewControllerFPSControllerParameter::viewDidLoad() {
    m_launcher.writeLog("FPSControllerParameter.viewDidLoad");
    Status loaded = m_setting.loadDefinitions(m_launcher);
    if (!loaded) {
        printDiagnostic("Failed: " + loaded.error());
        std::string message = "設定の読込みでエラーが発生しました\n\n" + loaded.error();
        m_launcher.writeLog(message);
        m_launcher.platform.alerts.critical(message);
        // The sheet is put on screen after the constructor; it goes away right after that.
        m_dismissing = true;
        QMetaObject::invokeMethod(
            this, [this] { dismiss(); }, Qt::QueuedConnection);
        return;
    }
    applyDefinitions();

    auto record = ParameterFile(m_launcher).readParameterFile();
    if (record) {
        showValues(*record, false);
        showCurrentValues(*record);
    } else {
        printDiagnostic(record.error());
        showValues(m_parameter_default, false);
        clearCurrentValues();
    }

    LauncherSettings settings(m_launcher);
    m_ui->checkBox_update->setChecked(
        ParameterForm::updateChecked(settings.readLauncherSetting("update", "ON")));
    m_ui->textField_entryUrl->setText(qs(settings.readLauncherSetting("entry_url", "")));
    m_ui->button_reset->setText(qs(m_launcher.ini.message("msg35")));
    m_ui->label_entryUrl->setText(qs(m_launcher.ini.message("msg36")));
    if (m_launcher.localVersion && isNotInstalledMarker(*m_launcher.localVersion))
        m_ui->checkBox_update->setEnabled(false);
}

void ViewControllerFPSControllerParameter::applyDefinitions() {
    m_controls->applyDefinitions(m_setting);
    m_parameter_default = m_setting.defaultParameters();
    m_update_default = m_setting.update.defaultValue;
}

void ViewControllerFPSControllerParameter::showValues(const QZ_FPSControllerParameter& record,
                                                      bool resetMode) {
    m_controls->showNumbers(record);
    if (!resetMode)
        m_controls->fillBGMLists(record, BgmList(BgmList::folder(m_launcher)));
    else
        m_controls->selectBGMNames(record);
    m_controls->showChoices(record, m_setting, m_parameter_default.qualityLevel);
    onResolutionChanged();
    m_controls->setScreenSize(record.screenWidth, record.screenHeight);
    m_controls->showSwitches(record);
    m_controls->showLauncherChoices(LauncherSettings(m_launcher), resetMode);
}

void ViewControllerFPSControllerParameter::showCurrentValues(
    const QZ_FPSControllerParameter& record) {
    m_controls->showLabels(ParameterForm::currentValues(record));
}

void ViewControllerFPSControllerParameter::clearCurrentValues() {
    m_controls->showLabels(ParameterForm::noCurrentValues());
}

void ViewControllerFPSControllerParameter::onResolutionChanged() {
    std::string item = m_ui->comboBox_resolution->currentText().toStdString();
    bool others = ParameterForm::showsFreeSize(item);
    m_controls->showFreeSize(others);
    if (others) {
        auto [width, height] = m_launcher.platform.desktop.mainDisplaySize();
        m_controls->setScreenSize(width, height);
    } else if (auto size = ParameterTexts::resolutionFromItem(item)) {
        m_controls->setScreenSize(size->first, size->second);
    }
}

void ViewControllerFPSControllerParameter::comboBox_resolution_SelectedIndexChanged() {
    onResolutionChanged();
}

bool ViewControllerFPSControllerParameter::checkNumbers() {
    auto refusal = m_form.check(m_controls->entries());
    if (!refusal)
        return true;
    m_launcher.writeLog(refusal->message);
    m_launcher.platform.alerts.critical(refusal->message);
    m_controls->focus(*refusal);
    return false;
}

bool ViewControllerFPSControllerParameter::saveAll() {
    ParameterForm::Entries entries = m_controls->entries();
    bool written = ParameterFile(m_launcher)
                       .writeParameterFile(m_form.record(entries), m_resetFlag, m_setting);
    ParameterForm::saveLauncherSettings(LauncherSettings(m_launcher), entries);
    callResultHandler();
    return written;
}

void ViewControllerFPSControllerParameter::buttonSave_Click() {
    if (checkNumbers() && saveAll())
        dismiss();
}

void ViewControllerFPSControllerParameter::buttonCancel_Click() {
    callResultHandler();
    dismiss();
}

bool ViewControllerFPSControllerParameter::windowWillClose() {
    if (!checkNumbers())
        return false;
    saveAll();
    return true;
}

void ViewControllerFPSControllerParameter::dismiss() {
    m_dismissing = true;
    window()->close();
}

void ViewControllerFPSControllerParameter::buttonReset_Click() {
    m_window.performSegue("ResetSegue",
                          [this](QWidget* destination) { prepareResetDialog(destination); });
}

void ViewControllerFPSControllerParameter::prepareResetDialog(QWidget* destination) {
    auto* sheet = dynamic_cast<SheetViewController*>(destination);
    if (!sheet)
        return;
    if (window() != this)
        sheet->setParentWindow(window());
    sheet->setResetParameter(false);
    Guarded editor(this, m_lifetime);
    sheet->setResultHandler([editor] {
        if (ViewControllerFPSControllerParameter* self = editor.get())
            self->onResetFinished();
    });
}

void ViewControllerFPSControllerParameter::onResetFinished() {
    showValues(m_parameter_default, true);
    m_ui->checkBox_update->setChecked(m_update_default);
    m_resetFlag = true;
}

void ViewControllerFPSControllerParameter::button_display_Click() {
    m_launcher.platform.desktop.openDisplaySettings();
}

void ViewControllerFPSControllerParameter::togglePreview(BgmChannel channel) {
    m_preview->togglePreview(channel, m_controls->selectedBGM(channel),
                             m_controls->volumeOf(channel));
    showPreviewTitles();
}

void ViewControllerFPSControllerParameter::previewSelectionChanged(BgmChannel channel) {
    m_preview->selectionChanged(channel, m_controls->selectedBGM(channel),
                                m_controls->volumeOf(channel));
    showPreviewTitles();
}

void ViewControllerFPSControllerParameter::showPreviewTitles() {
    m_ui->button_play->setText(qs(m_preview->buttonTitle(BgmChannel::Hall)));
    m_ui->button_showroom_play->setText(qs(m_preview->buttonTitle(BgmChannel::Showroom)));
}

void ViewControllerFPSControllerParameter::button_play_Click() {
    togglePreview(BgmChannel::Hall);
}

void ViewControllerFPSControllerParameter::button_showroom_play_Click() {
    togglePreview(BgmChannel::Showroom);
}

void ViewControllerFPSControllerParameter::comboBox_optionBGMName_Change() {
    previewSelectionChanged(BgmChannel::Hall);
}

void ViewControllerFPSControllerParameter::comboBox_showroomBGMName_Change() {
    previewSelectionChanged(BgmChannel::Showroom);
}

void ViewControllerFPSControllerParameter::optionBGMRate_Change() {
    m_preview->volumeChanged(BgmChannel::Hall, m_controls->volumeOf(BgmChannel::Hall));
}

void ViewControllerFPSControllerParameter::showroomBGMRate_Change() {
    m_preview->volumeChanged(BgmChannel::Showroom, m_controls->volumeOf(BgmChannel::Showroom));
}

void ViewControllerFPSControllerParameter::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    m_launcher.writeLog("FPSControllerParameter.viewDidAppear");
    QWidget* frame = window();
    if (frame != this && frame != m_watchedWindow) {
        if (m_watchedWindow)
            m_watchedWindow->removeEventFilter(this);
        m_watchedWindow = frame;
        frame->installEventFilter(this);
    }
    m_placement->follow();
    m_placement->place();
}

void ViewControllerFPSControllerParameter::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    m_launcher.writeLog("FPSControllerParameter.viewDidDisappear");
}

bool ViewControllerFPSControllerParameter::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_watchedWindow && event->type() == QEvent::Close && !m_dismissing &&
        !windowWillClose()) {
        event->ignore();
        return true;
    }
    // Escape means Cancel here, not a silent close.
    if (watched == m_watchedWindow && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        buttonCancel_Click();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace dravik
