#include "parameters/ViewControllerFPSControllerParameter.h"

#include "app/QtText.h"
#include "app/SheetPlacement.h"
#include "app/WindowController.h"
#include "common/Launcher.h"
#include "common/LauncherSettings.h"
#include "common/Unicode.h"
#include "parameters/BgmList.h"
#include "parameters/ParameterFile.h"
#include "parameters/ParameterTexts.h"
#include "platform/Alerts.h"
#include "platform/Desktop.h"
#include "service/VersionRules.h"
#include "ui_ViewControllerFPSControllerParameter.h"

#include <QDoubleValidator>
#include <QGridLayout>
#include <QGroupBox>
#include <QIntValidator>
#include <QKeyEvent>
#include <QLayout>
#include <QPointer>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOption>
#include <algorithm>
#include <iostream>
#include <limits>

namespace dravik {

namespace {

// A window size the viewer can be given by hand.
constexpr int kMinScreenSize = 1;
constexpr int kMaxScreenSize = 32767;
// Typing may go beyond the decimal places; the field is rounded when editing ends.
constexpr int kTypedDecimals = 17;

const char* const kSplashFiles[] = {"Splash.gif", "showroom.png"};
const char* const kLobbyItems[] = {"自動", "表示する", "表示しない"};

// Numbers are read and written in the C form ("0.5"), whatever the visitor's locale.
QLocale numberLocale() {
    QLocale locale = QLocale::c();
    locale.setNumberOptions(QLocale::RejectGroupSeparator | QLocale::OmitGroupSeparator);
    return locale;
}

void replaceItems(QComboBox* comboBox, const std::vector<std::string>& items) {
    comboBox->clear();
    for (const auto& item : items)
        comboBox->addItem(qs(item));
}

// The value as the field shows it: the parameter's decimal places, unless that would change the
// stored number (a file may hold more places than the definitions allow).
QString fieldText(double value, int64_t point) {
    std::string text = ParameterTexts::formatFixed(value, point);
    if (Setting::parseDouble(text) != value)
        text = ParameterTexts::shortestText(value);
    return qs(text);
}

std::optional<int32_t> parseInt32(const QString& text) {
    auto value = Setting::parseInteger(text.toStdString());
    if (!value || *value < std::numeric_limits<int32_t>::min() ||
        *value > std::numeric_limits<int32_t>::max())
        return std::nullopt;
    return static_cast<int32_t>(*value);
}

} // namespace

ViewControllerFPSControllerParameter::ViewControllerFPSControllerParameter(Launcher& launcher,
                                                                           WindowController& window,
                                                                           QWidget* parent)
    : QWidget(parent), m_launcher(launcher), m_window(window),
      m_ui(std::make_unique<Ui::ViewControllerFPSControllerParameter>()),
      m_preview(std::make_unique<BgmPreview>(launcher.platform.audio, BgmList::folder(launcher))),
      m_placement(new SheetPlacement(this, [this] { return parentWindow(); })) {
    m_ui->setupUi(this);

    for (const auto& parameter : Setting::numericParameters()) {
        QString name = QString::fromLatin1(parameter.name);
        NumericRow row;
        row.parameter = &parameter;
        row.label = findChild<QLabel*>("label_" + name);
        row.textField = findChild<QLineEdit*>("textField_" + name);
        row.stepper = findChild<QDoubleSpinBox*>("stepper_" + name);
        row.now = findChild<QLabel*>("label_" + name + "_now");
        if (!row.label || !row.textField || !row.stepper || !row.now)
            qFatal("ViewControllerFPSControllerParameter.ui lacks a control of %s", parameter.name);
        row.formatter = new QDoubleValidator(row.textField);
        row.formatter->setObjectName("formatter_" + name);
        row.formatter->setLocale(numberLocale());
        row.formatter->setNotation(QDoubleValidator::StandardNotation);
        row.formatter->setDecimals(kTypedDecimals);
        row.textField->setValidator(row.formatter);
        configureStepper(row.stepper);
        m_rows.push_back(row);
    }

    m_formatter_screenWidth =
        new QIntValidator(kMinScreenSize, kMaxScreenSize, m_ui->textField_screenWidth);
    m_formatter_screenHeight =
        new QIntValidator(kMinScreenSize, kMaxScreenSize, m_ui->textField_screenHeight);
    m_formatter_screenWidth->setLocale(numberLocale());
    m_formatter_screenHeight->setLocale(numberLocale());
    m_ui->textField_screenWidth->setValidator(m_formatter_screenWidth);
    m_ui->textField_screenHeight->setValidator(m_formatter_screenHeight);
    for (QSpinBox* stepper : {m_ui->stepper_screenWidth, m_ui->stepper_screenHeight}) {
        stepper->setRange(kMinScreenSize, kMaxScreenSize);
        configureStepper(stepper);
    }
    // The free size row keeps its place while hidden, so the sheet does not jump.
    for (QWidget* control : std::initializer_list<QWidget*>{
             m_ui->textField_screenWidth, m_ui->stepper_screenWidth, m_ui->label_x,
             m_ui->textField_screenHeight, m_ui->stepper_screenHeight}) {
        QSizePolicy policy = control->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        control->setSizePolicy(policy);
    }

    connectControls();
    viewDidLoad();

    ensurePolished();
    alignColumns();
    fitToScreen();
}

ViewControllerFPSControllerParameter::~ViewControllerFPSControllerParameter() = default;

void ViewControllerFPSControllerParameter::fitToScreen() {
    // Short screens get a scrolling sheet; the buttons below stay in view. The texts set when
    // the view was loaded have not reached the cached layout sizes yet.
    for (QLayout* layout : m_ui->scrollContents->findChildren<QLayout*>())
        layout->invalidate();
    QSize content = m_ui->scrollContents->sizeHint();
    QRect available = screen()->availableGeometry();
    int scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    // Room for the title bar, the sheet's margins and the button row.
    int maxHeight = available.height() - 140;
    int maxWidth = available.width() - 60;
    QSize area(std::min(content.width(), maxWidth), std::min(content.height(), maxHeight));
    if (content.height() > maxHeight)
        area.rwidth() = std::min(area.width() + scrollBar, maxWidth);
    if (content.width() > maxWidth)
        area.rheight() = std::min(area.height() + scrollBar, maxHeight);
    m_ui->scrollArea->setMinimumSize(area);
}

void ViewControllerFPSControllerParameter::alignColumns() {
    // The groups stacked in one column share the positions of their captions, fields and values.
    const std::vector<std::vector<QGroupBox*>> columns = {
        {m_ui->groupBox_operation, m_ui->groupBox_data, m_ui->groupBox_launcher},
        {m_ui->groupBox_sound, m_ui->groupBox_display}};
    for (const auto& groups : columns) {
        int widths[3] = {0, 0, 0};
        for (QGroupBox* group : groups) {
            auto* grid = static_cast<QGridLayout*>(group->layout());
            for (int i = 0; i < grid->count(); ++i) {
                int row = 0, column = 0, rowSpan = 0, columnSpan = 0;
                grid->getItemPosition(i, &row, &column, &rowSpan, &columnSpan);
                QWidget* widget = grid->itemAt(i)->widget();
                if (widget && columnSpan == 1 && column != 1)
                    widths[column] = std::max(widths[column], widget->sizeHint().width());
            }
        }
        for (QGroupBox* group : groups) {
            auto* grid = static_cast<QGridLayout*>(group->layout());
            grid->setColumnMinimumWidth(0, widths[0]);
            grid->setColumnMinimumWidth(2, widths[2]);
        }
    }
}

void ViewControllerFPSControllerParameter::configureStepper(QAbstractSpinBox* stepper) {
    // Only the arrows: the text field beside it shows the number.
    if (auto* edit = stepper->findChild<QLineEdit*>())
        edit->hide();
    stepper->setFocusPolicy(Qt::NoFocus);
    stepper->setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    // As wide as the style draws the arrows, plus the frame on their left.
    QStyleOptionSpinBox option;
    option.initFrom(stepper);
    option.rect = QRect(0, 0, 100, stepper->sizeHint().height());
    option.subControls = QStyle::SC_All;
    option.buttonSymbols = QAbstractSpinBox::UpDownArrows;
    option.frame = true;
    QRect arrows = stepper->style()->subControlRect(QStyle::CC_SpinBox, &option,
                                                    QStyle::SC_SpinBoxUp, stepper);
    int frame = stepper->style()->pixelMetric(QStyle::PM_SpinBoxFrameWidth, &option, stepper);
    stepper->setFixedWidth(option.rect.right() - arrows.left() + 1 + std::max(frame, 1));
    QSizePolicy policy = stepper->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    stepper->setSizePolicy(policy);
}

void ViewControllerFPSControllerParameter::connectControls() {
    for (NumericRow& numeric : m_rows) {
        NumericRow* row = &numeric;
        connect(row->stepper, &QDoubleSpinBox::valueChanged, this,
                [this, row] { stepperChanged(*row); });
        connect(row->textField, &QLineEdit::textEdited, this,
                [this, row] { textFieldEdited(*row); });
        connect(row->textField, &QLineEdit::editingFinished, this,
                [this, row] { textField_event(*row); });
    }
    auto connectScreen = [this](QLineEdit* field, QSpinBox* stepper) {
        connect(stepper, &QSpinBox::valueChanged, this,
                [field](int value) { field->setText(QString::number(value)); });
        connect(field, &QLineEdit::textEdited, this, [field, stepper] {
            if (auto value = parseInt32(field->text())) {
                QSignalBlocker blocker(stepper);
                stepper->setValue(*value);
            }
        });
    };
    connectScreen(m_ui->textField_screenWidth, m_ui->stepper_screenWidth);
    connectScreen(m_ui->textField_screenHeight, m_ui->stepper_screenHeight);

    connect(m_ui->buttonSave, &QPushButton::clicked, this,
            &ViewControllerFPSControllerParameter::buttonSave_Click);
    connect(m_ui->buttonCancel, &QPushButton::clicked, this,
            &ViewControllerFPSControllerParameter::buttonCancel_Click);
    connect(m_ui->button_reset, &QPushButton::clicked, this,
            &ViewControllerFPSControllerParameter::buttonReset_Click);
    connect(m_ui->button_display, &QPushButton::clicked, this,
            &ViewControllerFPSControllerParameter::button_display_Click);
    connect(m_ui->button_play, &QPushButton::clicked, this,
            &ViewControllerFPSControllerParameter::button_play_Click);
    connect(m_ui->button_showroom_play, &QPushButton::clicked, this,
            &ViewControllerFPSControllerParameter::button_showroom_play_Click);
    connect(m_ui->comboBox_resolution, &QComboBox::currentIndexChanged, this,
            &ViewControllerFPSControllerParameter::comboBox_resolution_SelectedIndexChanged);
    connect(m_ui->comboBox_optionBGMName, &QComboBox::currentIndexChanged, this,
            &ViewControllerFPSControllerParameter::comboBox_optionBGMName_Change);
    connect(m_ui->comboBox_showroomBGMName, &QComboBox::currentIndexChanged, this,
            &ViewControllerFPSControllerParameter::comboBox_showroomBGMName_Change);
}

ViewControllerFPSControllerParameter::NumericRow*
ViewControllerFPSControllerParameter::row(const char* name) {
    for (NumericRow& numeric : m_rows)
        if (std::string_view(numeric.parameter->name) == name)
            return &numeric;
    return nullptr;
}

void ViewControllerFPSControllerParameter::viewDidLoad() {
    m_launcher.writeLog("FPSControllerParameter.viewDidLoad");
    Status loaded = m_setting.loadDefinitions(m_launcher);
    if (!loaded) {
        std::cout << "Failed: " << loaded.error() << std::endl;
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
        std::cout << record.error() << std::endl;
        showValues(m_parameter_default, false);
        clearCurrentValues();
    }

    LauncherSettings settings(m_launcher);
    m_ui->checkBox_update->setChecked(asciiUpper(settings.readLauncherSetting("update", "ON")) !=
                                      "OFF");
    m_ui->textField_entryUrl->setText(qs(settings.readLauncherSetting("entry_url", "")));
    m_ui->button_reset->setText(qs(m_launcher.ini.message("msg35")));
    m_ui->label_entryUrl->setText(qs(m_launcher.ini.message("msg36")));
    if (m_launcher.localVersion && isNotInstalledMarker(*m_launcher.localVersion))
        m_ui->checkBox_update->setEnabled(false);
}

void ViewControllerFPSControllerParameter::configureNumericControls(
    NumericRow& row, const SettingNumericUpDown& definition) {
    row.label->setText(qs(ParameterTexts::numericCaption(definition)));
    bool fixed = ParameterTexts::isFixed(definition);
    row.textField->setEnabled(!fixed);
    row.stepper->setHidden(fixed);

    row.formatter->setBottom(definition.lower);
    row.formatter->setTop(definition.upper);
    {
        QSignalBlocker blocker(row.stepper);
        row.stepper->setDecimals(static_cast<int>(std::clamp<int64_t>(definition.point, 0, 17)));
        row.stepper->setRange(definition.lower, definition.upper);
        row.stepper->setSingleStep(ParameterTexts::stepIncrement(definition.point));
    }
    row.textField->setProperty("tag", static_cast<qlonglong>(definition.point));
    row.point = definition.point;
}

void ViewControllerFPSControllerParameter::applyDefinitions() {
    for (NumericRow& numeric : m_rows)
        configureNumericControls(numeric, m_setting.*(numeric.parameter->definition));
    m_ui->label_optionBGMName->setText(qs(m_setting.optionBGMName.caption));
    m_ui->label_showroomBGMName->setText(qs(m_setting.showroomBGMName.caption));
    m_ui->label_gammaValue->setText(qs(m_setting.gammaValue.caption));
    m_ui->label_qualityLevel->setText(qs(m_setting.qualityLevel.caption));
    m_ui->label_resolution->setText(qs(m_setting.screen.caption));
    m_ui->checkBox_isRangeAutoControl->setText(qs(m_setting.isRangeAutoControl.caption));
    m_ui->checkBox_isFullScreen->setText(qs(m_setting.isFullScreen.caption));
    m_ui->checkBox_update->setText(qs(m_setting.update.caption));

    m_parameter_default = m_setting.defaultParameters();
    m_update_default = m_setting.update.defaultValue;
}

void ViewControllerFPSControllerParameter::setNumericValue(NumericRow& row, double value) {
    {
        QSignalBlocker blocker(row.stepper);
        row.stepper->setValue(value);
    }
    row.textField->setText(fieldText(value, row.point));
}

void ViewControllerFPSControllerParameter::setScreenSize(std::optional<int> width,
                                                         std::optional<int> height) {
    auto set = [](QLineEdit* field, QSpinBox* stepper, int value) {
        QSignalBlocker blocker(stepper);
        stepper->setValue(value);
        field->setText(QString::number(value));
    };
    if (width)
        set(m_ui->textField_screenWidth, m_ui->stepper_screenWidth, *width);
    if (height)
        set(m_ui->textField_screenHeight, m_ui->stepper_screenHeight, *height);
}

void ViewControllerFPSControllerParameter::showValues(const QZ_FPSControllerParameter& record,
                                                      bool resetMode) {
    for (NumericRow& numeric : m_rows)
        setNumericValue(numeric, record.*(numeric.parameter->value));

    if (!resetMode) {
        fillBGMLists(record);
    } else {
        QSignalBlocker hall(m_ui->comboBox_optionBGMName);
        QSignalBlocker showroom(m_ui->comboBox_showroomBGMName);
        selectBGMName(m_ui->comboBox_optionBGMName, record.optionBGMName);
        selectBGMName(m_ui->comboBox_showroomBGMName, record.showroomBGMName);
    }

    {
        QSignalBlocker blocker(m_ui->comboBox_gammaValue);
        replaceItems(m_ui->comboBox_gammaValue, ParameterTexts::gammaItems());
        m_ui->comboBox_gammaValue->setCurrentIndex(ParameterTexts::gammaIndex(record.gammaValue));
    }
    {
        QSignalBlocker blocker(m_ui->comboBox_qualityLevel);
        auto items = ParameterTexts::qualityItems(m_parameter_default.qualityLevel);
        replaceItems(m_ui->comboBox_qualityLevel, items);
        // A level beyond the list would leave nothing selected and save -1.
        int last = static_cast<int>(items.size()) - 1;
        m_ui->comboBox_qualityLevel->setCurrentIndex(std::clamp(record.qualityLevel, 0, last));
    }
    {
        QSignalBlocker blocker(m_ui->comboBox_resolution);
        replaceItems(m_ui->comboBox_resolution, ParameterTexts::resolutionItems(m_setting.screen));
        m_ui->comboBox_resolution->setCurrentIndex(ParameterTexts::resolutionIndex(
            m_setting.screen, record.screenWidth, record.screenHeight));
    }
    onResolutionChanged();
    setScreenSize(record.screenWidth, record.screenHeight);

    if (record.isRangeAutoControl)
        m_ui->checkBox_isRangeAutoControl->setChecked(*record.isRangeAutoControl);
    if (record.isFullScreen)
        m_ui->checkBox_isFullScreen->setChecked(*record.isFullScreen);

    LauncherSettings settings(m_launcher);
    if (!resetMode) {
        QComboBox* splash = m_ui->comboBox_splashFile;
        splash->clear();
        for (const char* file : kSplashFiles)
            splash->addItem(QString::fromUtf8(file));
        splash->setCurrentIndex(0);
        QString value = qs(settings.readLauncherSetting("Splash_file", "Splash.gif"));
        m_ui->label_splashFile_now->setText("(" + value + ")");
        // A splash file of the operator's own stays selectable, so a save keeps it.
        if (splash->findText(value) < 0 && !value.isEmpty())
            splash->addItem(value);
        if (int index = splash->findText(value); index >= 0)
            splash->setCurrentIndex(index);
    }

    QComboBox* lobby = m_ui->comboBox_lobbyDisplay;
    lobby->clear();
    for (const char* item : kLobbyItems)
        lobby->addItem(QString::fromUtf8(item));
    std::string stored = settings.readLauncherSetting("LobbyDisplay", "AUTO");
    m_ui->label_lobbyDisplay_now->setText(qs("(" + stored + ")"));
    std::string choice = asciiUpper(resetMode ? "AUTO" : stored);
    lobby->setCurrentIndex(choice == "ON" ? 1 : choice == "OFF" ? 2 : 0);
}

void ViewControllerFPSControllerParameter::fillBGMLists(const QZ_FPSControllerParameter& record) {
    BgmList list(BgmList::folder(m_launcher));
    struct Channel {
        QComboBox* comboBox;
        QPushButton* button;
        const std::string& name;
    };
    for (const Channel& channel :
         {Channel{m_ui->comboBox_optionBGMName, m_ui->button_play, record.optionBGMName},
          Channel{m_ui->comboBox_showroomBGMName, m_ui->button_showroom_play,
                  record.showroomBGMName}}) {
        BgmChoice choice = list.choice(channel.name);
        QSignalBlocker blocker(channel.comboBox);
        replaceItems(channel.comboBox, choice.items);
        channel.comboBox->setCurrentIndex(choice.selected);
        channel.button->setEnabled(choice.playEnabled);
    }
}

void ViewControllerFPSControllerParameter::selectBGMName(QComboBox* comboBox,
                                                         const std::string& name) {
    std::string wanted = asciiLower(name);
    int found = -1;
    for (int i = 0; i < comboBox->count(); ++i)
        if (asciiLower(comboBox->itemText(i).toStdString()) == wanted)
            found = i;
    if (found >= 0)
        comboBox->setCurrentIndex(found);
}

void ViewControllerFPSControllerParameter::showCurrentValues(
    const QZ_FPSControllerParameter& record) {
    for (NumericRow& numeric : m_rows)
        numeric.now->setText(
            qs(ParameterTexts::currentValueText(record.*(numeric.parameter->value))));
    m_ui->label_gammaValue_now->setText(qs(ParameterTexts::currentValueText(record.gammaValue)));
    m_ui->label_optionBGMName_now->setText(qs("(" + record.optionBGMName + ")"));
    m_ui->label_showroomBGMName_now->setText(qs("(" + record.showroomBGMName + ")"));
    m_ui->label_qualityLevel_now->setText(qs("(" + std::to_string(record.qualityLevel) + ")"));
    m_ui->label_resolution_now->setText(qs("(" + std::to_string(record.screenWidth) + "x" +
                                           std::to_string(record.screenHeight) + ")"));
}

void ViewControllerFPSControllerParameter::clearCurrentValues() {
    QString none = qs(ParameterTexts::kNoCurrentValue);
    for (NumericRow& numeric : m_rows)
        numeric.now->setText(none);
    for (QLabel* label :
         {m_ui->label_optionBGMName_now, m_ui->label_showroomBGMName_now,
          m_ui->label_gammaValue_now, m_ui->label_qualityLevel_now, m_ui->label_resolution_now})
        label->setText(none);
}

void ViewControllerFPSControllerParameter::roundTextFieldValue(QLineEdit* field) {
    int64_t places = field->property("tag").toLongLong();
    auto rounded = ParameterTexts::roundedFieldText(field->text().toStdString(), places);
    if (rounded)
        field->setText(qs(*rounded));
}

void ViewControllerFPSControllerParameter::textField_event(NumericRow& row) {
    roundTextFieldValue(row.textField);
    textFieldEdited(row);
    if (&row == this->row("optionBGMRate"))
        optionBGMRate_Change();
    else if (&row == this->row("showroomBGMRate"))
        showroomBGMRate_Change();
}

void ViewControllerFPSControllerParameter::textFieldEdited(NumericRow& row) {
    auto value = Setting::parseDouble(row.textField->text().toStdString());
    if (!value)
        return;
    QSignalBlocker blocker(row.stepper);
    row.stepper->setValue(*value);
}

void ViewControllerFPSControllerParameter::stepperChanged(NumericRow& row) {
    row.textField->setText(qs(ParameterTexts::formatFixed(row.stepper->value(), row.point)));
    if (&row == this->row("optionBGMRate"))
        optionBGMRate_Change();
    else if (&row == this->row("showroomBGMRate"))
        showroomBGMRate_Change();
}

void ViewControllerFPSControllerParameter::onResolutionChanged() {
    QString item = m_ui->comboBox_resolution->currentText();
    bool others = item == qs(ParameterTexts::kOthers);
    for (QWidget* control : std::initializer_list<QWidget*>{
             m_ui->textField_screenWidth, m_ui->stepper_screenWidth, m_ui->label_x,
             m_ui->textField_screenHeight, m_ui->stepper_screenHeight})
        control->setVisible(others);
    if (others) {
        auto [width, height] = m_launcher.platform.desktop.mainDisplaySize();
        setScreenSize(width, height);
        return;
    }
    auto size = ParameterTexts::resolutionFromItem(item.toStdString());
    if (!size)
        return;
    setScreenSize(size->first, size->second);
}

void ViewControllerFPSControllerParameter::comboBox_resolution_SelectedIndexChanged() {
    onResolutionChanged();
}

double ViewControllerFPSControllerParameter::fieldDouble(const NumericRow& row) const {
    return Setting::parseDouble(row.textField->text().toStdString()).value_or(row.stepper->value());
}

int32_t ViewControllerFPSControllerParameter::fieldInt(QLineEdit* field, QSpinBox* stepper) const {
    return parseInt32(field->text()).value_or(stepper->value());
}

bool ViewControllerFPSControllerParameter::checkNumbers() {
    auto acceptable = [](QLineEdit* field, bool isDouble) {
        QString text = field->text();
        int position = 0;
        if (field->validator()->validate(text, position) != QValidator::Acceptable)
            return false;
        return isDouble ? Setting::parseDouble(text.toStdString()).has_value()
                        : parseInt32(text).has_value();
    };
    auto refuse = [this](QLineEdit* field, const QString& caption, const QString& range) {
        std::string message =
            (caption + "\n\n" + range + "の範囲の数値を入力してください。").toStdString();
        m_launcher.writeLog(message);
        m_launcher.platform.alerts.critical(message);
        field->setFocus();
        field->selectAll();
        return false;
    };
    for (NumericRow& numeric : m_rows) {
        if (!numeric.textField->isEnabled() || acceptable(numeric.textField, true))
            continue;
        const SettingNumericUpDown& definition = m_setting.*(numeric.parameter->definition);
        return refuse(numeric.textField, qs(definition.caption),
                      qs(ParameterTexts::formatFixed(definition.lower, definition.point) + "〜" +
                         ParameterTexts::formatFixed(definition.upper, definition.point)));
    }
    for (QLineEdit* field : {m_ui->textField_screenWidth, m_ui->textField_screenHeight}) {
        if (!field->isVisibleTo(this) || acceptable(field, false))
            continue;
        return refuse(field, qs(m_setting.screen.caption),
                      QString("%1〜%2").arg(kMinScreenSize).arg(kMaxScreenSize));
    }
    return true;
}

bool ViewControllerFPSControllerParameter::saveAll() {
    QZ_FPSControllerParameter values;
    for (const NumericRow& numeric : m_rows)
        values.*(numeric.parameter->value) = fieldDouble(numeric);
    auto selectedText = [](QComboBox* comboBox) {
        return comboBox->currentIndex() < 0 ? std::string() : comboBox->currentText().toStdString();
    };
    values.optionBGMName = selectedText(m_ui->comboBox_optionBGMName);
    values.showroomBGMName = selectedText(m_ui->comboBox_showroomBGMName);
    values.gammaValue = ParameterTexts::gammaFromItem(selectedText(m_ui->comboBox_gammaValue))
                            .value_or(m_parameter_default.gammaValue);
    values.qualityLevel = std::max(0, m_ui->comboBox_qualityLevel->currentIndex());
    values.screenWidth = fieldInt(m_ui->textField_screenWidth, m_ui->stepper_screenWidth);
    values.screenHeight = fieldInt(m_ui->textField_screenHeight, m_ui->stepper_screenHeight);
    values.isRangeAutoControl = m_ui->checkBox_isRangeAutoControl->isChecked();
    values.isFullScreen = m_ui->checkBox_isFullScreen->isChecked();
    bool written = ParameterFile(m_launcher).writeParameterFile(values, m_resetFlag, m_setting);

    LauncherSettings settings(m_launcher);
    settings.writeLauncherSetting("update", m_ui->checkBox_update->isChecked() ? "ON" : "OFF");
    settings.writeLauncherSetting("Splash_file",
                                  m_ui->comboBox_splashFile->currentText().toStdString());
    int lobby = m_ui->comboBox_lobbyDisplay->currentIndex();
    settings.writeLauncherSetting("LobbyDisplay", lobby == 2 ? "OFF" : lobby == 1 ? "ON" : "AUTO");
    settings.writeLauncherSetting("entry_url",
                                  m_ui->textField_entryUrl->text().trimmed().toStdString());

    callResultHandler();
    return written;
}

void ViewControllerFPSControllerParameter::buttonSave_Click() {
    if (!checkNumbers())
        return;
    if (saveAll())
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
    QPointer<ViewControllerFPSControllerParameter> editor(this);
    sheet->setResultHandler([editor] {
        if (editor)
            editor->onResetFinished();
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

std::optional<std::string>
ViewControllerFPSControllerParameter::selectedBGM(BgmChannel channel) const {
    QComboBox* comboBox =
        channel == BgmChannel::Hall ? m_ui->comboBox_optionBGMName : m_ui->comboBox_showroomBGMName;
    if (comboBox->currentIndex() < 0)
        return std::nullopt;
    return comboBox->currentText().toStdString();
}

double ViewControllerFPSControllerParameter::volumeOf(BgmChannel channel) const {
    QDoubleSpinBox* stepper =
        channel == BgmChannel::Hall ? m_ui->stepper_optionBGMRate : m_ui->stepper_showroomBGMRate;
    return stepper->value();
}

void ViewControllerFPSControllerParameter::togglePreview(BgmChannel channel) {
    m_preview->togglePreview(channel, selectedBGM(channel), volumeOf(channel));
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
    m_preview->selectionChanged(BgmChannel::Hall, selectedBGM(BgmChannel::Hall),
                                volumeOf(BgmChannel::Hall));
    showPreviewTitles();
}

void ViewControllerFPSControllerParameter::comboBox_showroomBGMName_Change() {
    m_preview->selectionChanged(BgmChannel::Showroom, selectedBGM(BgmChannel::Showroom),
                                volumeOf(BgmChannel::Showroom));
    showPreviewTitles();
}

void ViewControllerFPSControllerParameter::optionBGMRate_Change() {
    m_preview->volumeChanged(BgmChannel::Hall, volumeOf(BgmChannel::Hall));
}

void ViewControllerFPSControllerParameter::showroomBGMRate_Change() {
    m_preview->volumeChanged(BgmChannel::Showroom, volumeOf(BgmChannel::Showroom));
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
    if (watched != m_watchedWindow)
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::Close:
        if (!m_dismissing && !windowWillClose()) {
            event->ignore();
            return true;
        }
        break;
    case QEvent::KeyPress:
        // Escape means Cancel here, not a silent close.
        if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            buttonCancel_Click();
            return true;
        }
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace dravik
