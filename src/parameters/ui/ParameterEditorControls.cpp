#include "parameters/ui/ParameterEditorControls.h"

#include "app/controls/QtText.h"
#include "common/LauncherSettings.h"
#include "common/Unicode.h"
#include "parameters/BgmList.h"
#include "parameters/NumericParameter.h"
#include "parameters/ParameterTexts.h"
#include "parameters/Setting.h"
#include "parameters/ui/ParameterEditorGeometry.h"
#include "ui_ViewControllerFPSControllerParameter.h"

#include <QDoubleValidator>
#include <QIntValidator>
#include <QSignalBlocker>
#include <algorithm>
#include <utility>

namespace dravik {

namespace {

using Geometry = ParameterEditorGeometry;

// Typing may go beyond the decimal places; the field is rounded when editing ends.
constexpr int kTypedDecimals = 17;

// Numbers are read and written in the C form ("0.5"), whatever the visitor's locale.
QLocale numberLocale() {
    QLocale locale = QLocale::c();
    locale.setNumberOptions(QLocale::RejectGroupSeparator | QLocale::OmitGroupSeparator);
    return locale;
}

std::optional<std::string> selectedText(const QComboBox* comboBox) {
    if (comboBox->currentIndex() < 0)
        return std::nullopt;
    return comboBox->currentText().toStdString();
}

} // namespace

ParameterEditorControls::ParameterEditorControls(QWidget* view,
                                                 Ui::ViewControllerFPSControllerParameter& ui)
    : QObject(view), m_ui(ui) {
    bindNumericRows(view);
    configureSizeFields();
    keepInStep();
}

void ParameterEditorControls::replaceItems(QComboBox* comboBox,
                                           const std::vector<std::string>& items) {
    comboBox->clear();
    for (const auto& item : items)
        comboBox->addItem(qs(item));
}

void ParameterEditorControls::bindNumericRows(QWidget* view) {
    for (const auto& parameter : NumericParameter::all()) {
        QString name = QString::fromLatin1(parameter.name);
        NumericRow row{&parameter,
                       view->findChild<QLabel*>("label_" + name),
                       view->findChild<QLineEdit*>("textField_" + name),
                       nullptr,
                       view->findChild<QDoubleSpinBox*>("stepper_" + name),
                       view->findChild<QLabel*>("label_" + name + "_now")};
        if (!row.label || !row.textField || !row.stepper || !row.now)
            qFatal("ViewControllerFPSControllerParameter.ui lacks a control of %s", parameter.name);
        row.formatter = new QDoubleValidator(row.textField);
        row.formatter->setObjectName("formatter_" + name);
        row.formatter->setLocale(numberLocale());
        row.formatter->setNotation(QDoubleValidator::StandardNotation);
        row.formatter->setDecimals(kTypedDecimals);
        row.textField->setValidator(row.formatter);
        Geometry::configureStepper(row.stepper);
        m_rows.push_back(row);
    }
}

void ParameterEditorControls::configureSizeFields() {
    for (auto [field, stepper] :
         {std::pair(m_ui.textField_screenWidth, m_ui.stepper_screenWidth),
          std::pair(m_ui.textField_screenHeight, m_ui.stepper_screenHeight)}) {
        auto* formatter =
            new QIntValidator(ParameterForm::kMinScreenSize, ParameterForm::kMaxScreenSize, field);
        formatter->setLocale(numberLocale());
        field->setValidator(formatter);
        stepper->setRange(ParameterForm::kMinScreenSize, ParameterForm::kMaxScreenSize);
        Geometry::configureStepper(stepper);
    }
    Geometry::keepPlaceWhenHidden({m_ui.textField_screenWidth, m_ui.stepper_screenWidth,
                                   m_ui.label_x, m_ui.textField_screenHeight,
                                   m_ui.stepper_screenHeight});
}

void ParameterEditorControls::keepInStep() {
    for (NumericRow& numeric : m_rows) {
        NumericRow* row = &numeric;
        connect(row->stepper, &QDoubleSpinBox::valueChanged, this,
                [this, row] { stepperChanged(*row); });
        connect(row->textField, &QLineEdit::textEdited, this,
                [this, row] { textFieldEdited(*row); });
        connect(row->textField, &QLineEdit::editingFinished, this,
                [this, row] { textField_event(*row); });
    }
    for (auto [field, stepper] :
         {std::pair(m_ui.textField_screenWidth, m_ui.stepper_screenWidth),
          std::pair(m_ui.textField_screenHeight, m_ui.stepper_screenHeight)}) {
        connect(stepper, &QSpinBox::valueChanged, this,
                [field](int value) { field->setText(QString::number(value)); });
        connect(field, &QLineEdit::textEdited, this, [field, stepper] {
            auto value = Setting::parseInteger(field->text().toStdString());
            if (value && *value >= INT32_MIN && *value <= INT32_MAX) {
                QSignalBlocker blocker(stepper);
                stepper->setValue(static_cast<int>(*value));
            }
        });
    }
}

void ParameterEditorControls::configureNumericControls(NumericRow& row,
                                                       const SettingNumericUpDown& definition) {
    row.label->setText(qs(ParameterTexts::numericCaption(definition)));
    bool fixed = ParameterTexts::isFixed(definition);
    row.textField->setEnabled(!fixed);
    row.stepper->setHidden(fixed);
    row.formatter->setRange(definition.lower, definition.upper, kTypedDecimals);
    {
        QSignalBlocker blocker(row.stepper);
        row.stepper->setDecimals(static_cast<int>(std::clamp<int64_t>(definition.point, 0, 17)));
        row.stepper->setRange(definition.lower, definition.upper);
        row.stepper->setSingleStep(ParameterTexts::stepIncrement(definition.point));
    }
    row.textField->setProperty("tag", static_cast<qlonglong>(definition.point));
    row.point = definition.point;
}

void ParameterEditorControls::applyDefinitions(const Setting& setting) {
    for (NumericRow& numeric : m_rows)
        configureNumericControls(numeric, setting.*(numeric.parameter->definition));
    m_ui.label_optionBGMName->setText(qs(setting.optionBGMName.caption));
    m_ui.label_showroomBGMName->setText(qs(setting.showroomBGMName.caption));
    m_ui.label_gammaValue->setText(qs(setting.gammaValue.caption));
    m_ui.label_qualityLevel->setText(qs(setting.qualityLevel.caption));
    m_ui.label_resolution->setText(qs(setting.screen.caption));
    m_ui.checkBox_isRangeAutoControl->setText(qs(setting.isRangeAutoControl.caption));
    m_ui.checkBox_isFullScreen->setText(qs(setting.isFullScreen.caption));
    m_ui.checkBox_update->setText(qs(setting.update.caption));
}

void ParameterEditorControls::showNumbers(const QZ_FPSControllerParameter& record) {
    for (NumericRow& numeric : m_rows)
        setNumericValue(numeric, record.*(numeric.parameter->value));
}

void ParameterEditorControls::setNumericValue(NumericRow& row, double value) {
    {
        QSignalBlocker blocker(row.stepper);
        row.stepper->setValue(value);
    }
    row.textField->setText(qs(ParameterForm::fieldText(value, row.point)));
}

void ParameterEditorControls::fillBGMLists(const QZ_FPSControllerParameter& record,
                                           const BgmList& list) {
    for (auto [comboBox, button, name] :
         {std::tuple(m_ui.comboBox_optionBGMName, m_ui.button_play, record.optionBGMName),
          std::tuple(m_ui.comboBox_showroomBGMName, m_ui.button_showroom_play,
                     record.showroomBGMName)}) {
        BgmChoice choice = list.choice(name);
        QSignalBlocker blocker(comboBox);
        replaceItems(comboBox, choice.items);
        comboBox->setCurrentIndex(choice.selected);
        button->setEnabled(choice.playEnabled);
    }
}

void ParameterEditorControls::selectBGMNames(const QZ_FPSControllerParameter& record) {
    for (auto [comboBox, name] :
         {std::pair(m_ui.comboBox_optionBGMName, record.optionBGMName),
          std::pair(m_ui.comboBox_showroomBGMName, record.showroomBGMName)}) {
        QSignalBlocker blocker(comboBox);
        // The last item equal to the name without letter case; none leaves the selection.
        for (int i = comboBox->count() - 1; i >= 0; --i)
            if (asciiLower(comboBox->itemText(i).toStdString()) == asciiLower(name)) {
                comboBox->setCurrentIndex(i);
                break;
            }
    }
}

std::optional<std::string> ParameterEditorControls::selectedBGM(BgmChannel channel) const {
    return selectedText(channel == BgmChannel::Hall ? m_ui.comboBox_optionBGMName
                                                    : m_ui.comboBox_showroomBGMName);
}

double ParameterEditorControls::volumeOf(BgmChannel channel) const {
    QDoubleSpinBox* stepper =
        channel == BgmChannel::Hall ? m_ui.stepper_optionBGMRate : m_ui.stepper_showroomBGMRate;
    return stepper->value();
}

void ParameterEditorControls::showChoices(const QZ_FPSControllerParameter& record,
                                          const Setting& setting, int32_t defaultQuality) {
    QSignalBlocker gamma(m_ui.comboBox_gammaValue);
    replaceItems(m_ui.comboBox_gammaValue, ParameterTexts::gammaItems());
    m_ui.comboBox_gammaValue->setCurrentIndex(ParameterTexts::gammaIndex(record.gammaValue));
    QSignalBlocker quality(m_ui.comboBox_qualityLevel);
    replaceItems(m_ui.comboBox_qualityLevel, ParameterTexts::qualityItems(defaultQuality));
    m_ui.comboBox_qualityLevel->setCurrentIndex(ParameterForm::qualityIndex(record.qualityLevel));
    QSignalBlocker resolution(m_ui.comboBox_resolution);
    replaceItems(m_ui.comboBox_resolution, ParameterTexts::resolutionItems(setting.screen));
    m_ui.comboBox_resolution->setCurrentIndex(
        ParameterTexts::resolutionIndex(setting.screen, record.screenWidth, record.screenHeight));
}

void ParameterEditorControls::showSwitches(const QZ_FPSControllerParameter& record) {
    if (record.isRangeAutoControl)
        m_ui.checkBox_isRangeAutoControl->setChecked(*record.isRangeAutoControl);
    if (record.isFullScreen)
        m_ui.checkBox_isFullScreen->setChecked(*record.isFullScreen);
}

void ParameterEditorControls::showLauncherChoices(const LauncherSettings& settings,
                                                  bool resetMode) {
    if (!resetMode) {
        std::string stored = settings.readLauncherSetting("Splash_file", "Splash.gif");
        ParameterForm::Choice splash = ParameterForm::splashChoice(stored);
        replaceItems(m_ui.comboBox_splashFile, splash.items);
        m_ui.comboBox_splashFile->setCurrentIndex(splash.selected);
        m_ui.label_splashFile_now->setText(qs("(" + stored + ")"));
    }
    std::string stored = settings.readLauncherSetting("LobbyDisplay", "AUTO");
    replaceItems(m_ui.comboBox_lobbyDisplay, ParameterForm::lobbyItems());
    m_ui.comboBox_lobbyDisplay->setCurrentIndex(
        ParameterForm::lobbyIndex(resetMode ? "AUTO" : stored));
    m_ui.label_lobbyDisplay_now->setText(qs("(" + stored + ")"));
}

void ParameterEditorControls::showLabels(const ParameterForm::CurrentValues& labels) {
    for (size_t i = 0; i < m_rows.size() && i < labels.numbers.size(); ++i)
        m_rows[i].now->setText(qs(labels.numbers[i]));
    m_ui.label_gammaValue_now->setText(qs(labels.gammaValue));
    m_ui.label_optionBGMName_now->setText(qs(labels.optionBGMName));
    m_ui.label_showroomBGMName_now->setText(qs(labels.showroomBGMName));
    m_ui.label_qualityLevel_now->setText(qs(labels.qualityLevel));
    m_ui.label_resolution_now->setText(qs(labels.resolution));
}

void ParameterEditorControls::showFreeSize(bool shown) {
    for (QWidget* control : std::initializer_list<QWidget*>{
             m_ui.textField_screenWidth, m_ui.stepper_screenWidth, m_ui.label_x,
             m_ui.textField_screenHeight, m_ui.stepper_screenHeight})
        control->setVisible(shown);
}

void ParameterEditorControls::setScreenSize(std::optional<int> width, std::optional<int> height) {
    auto set = [](QLineEdit* field, QSpinBox* stepper, int value) {
        QSignalBlocker blocker(stepper);
        stepper->setValue(value);
        field->setText(QString::number(value));
    };
    if (width)
        set(m_ui.textField_screenWidth, m_ui.stepper_screenWidth, *width);
    if (height)
        set(m_ui.textField_screenHeight, m_ui.stepper_screenHeight, *height);
}

void ParameterEditorControls::roundTextFieldValue(QLineEdit* field) {
    int64_t places = field->property("tag").toLongLong();
    if (auto rounded = ParameterTexts::roundedFieldText(field->text().toStdString(), places))
        field->setText(qs(*rounded));
}

void ParameterEditorControls::textField_event(NumericRow& row) {
    roundTextFieldValue(row.textField);
    textFieldEdited(row);
    if (numberChanged)
        numberChanged(row.stepper);
}

void ParameterEditorControls::textFieldEdited(NumericRow& row) {
    if (auto value = Setting::parseDouble(row.textField->text().toStdString())) {
        QSignalBlocker blocker(row.stepper);
        row.stepper->setValue(*value);
    }
}

void ParameterEditorControls::stepperChanged(NumericRow& row) {
    row.textField->setText(qs(ParameterTexts::formatFixed(row.stepper->value(), row.point)));
    if (numberChanged)
        numberChanged(row.stepper);
}

ParameterForm::Entries ParameterEditorControls::entries() const {
    ParameterForm::Entries entries;
    for (const NumericRow& row : m_rows)
        entries.numbers.push_back({row.textField->text().toStdString(), row.stepper->value()});
    entries.optionBGMName = selectedText(m_ui.comboBox_optionBGMName);
    entries.showroomBGMName = selectedText(m_ui.comboBox_showroomBGMName);
    entries.gammaItem = selectedText(m_ui.comboBox_gammaValue);
    entries.qualityIndex = m_ui.comboBox_qualityLevel->currentIndex();
    entries.resolutionItem = m_ui.comboBox_resolution->currentText().toStdString();
    entries.screenWidth = {m_ui.textField_screenWidth->text().toStdString(),
                           m_ui.stepper_screenWidth->value()};
    entries.screenHeight = {m_ui.textField_screenHeight->text().toStdString(),
                            m_ui.stepper_screenHeight->value()};
    entries.isRangeAutoControl = m_ui.checkBox_isRangeAutoControl->isChecked();
    entries.isFullScreen = m_ui.checkBox_isFullScreen->isChecked();
    entries.update = m_ui.checkBox_update->isChecked();
    entries.splashFile = m_ui.comboBox_splashFile->currentText().toStdString();
    entries.lobbyIndex = m_ui.comboBox_lobbyDisplay->currentIndex();
    // Blanks and line breaks around a typed address are not part of it.
    entries.entryUrl = m_ui.textField_entryUrl->text().trimmed().toStdString();
    return entries;
}

void ParameterEditorControls::focus(const ParameterForm::Refusal& refusal) {
    using Field = ParameterForm::Refusal::Field;
    QLineEdit* field = refusal.field == Field::ScreenWidth    ? m_ui.textField_screenWidth
                       : refusal.field == Field::ScreenHeight ? m_ui.textField_screenHeight
                                                              : m_rows[refusal.number].textField;
    field->setFocus();
    field->selectAll();
}

} // namespace dravik
