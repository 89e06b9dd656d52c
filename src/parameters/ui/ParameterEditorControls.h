#pragma once

#include "parameters/BgmPreview.h"
#include "parameters/ParameterForm.h"

#include <QObject>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QComboBox;
class QDoubleSpinBox;
class QDoubleValidator;
class QLabel;
class QLineEdit;
class QWidget;

namespace Ui {
class ViewControllerFPSControllerParameter;
}

namespace dravik {

class BgmList;
class LauncherSettings;
class Setting;
struct NumericParameter;
struct SettingNumericUpDown;

// The parameter editor's value controls: the five controls of each numeric parameter, the free
// size fields, the choices, the switches and the "_now" labels. Each stepper and its text field
// are kept in step; values go in from a record and come out as ParameterForm::Entries.
class ParameterEditorControls : public QObject {
public:
    ParameterEditorControls(QWidget* view, Ui::ViewControllerFPSControllerParameter& ui);

    static void replaceItems(QComboBox* comboBox, const std::vector<std::string>& items);

    // A number changed by its stepper, or by its text field when editing ends.
    std::function<void(QDoubleSpinBox* stepper)> numberChanged;

    // Captions and ranges of the definitions.
    void applyDefinitions(const Setting& setting);
    void showNumbers(const QZ_FPSControllerParameter& record);
    // The music lists from the folder's files, the stored names selected.
    void fillBGMLists(const QZ_FPSControllerParameter& record, const BgmList& list);
    // The stored names selected in the lists as they are.
    void selectBGMNames(const QZ_FPSControllerParameter& record);
    std::optional<std::string> selectedBGM(BgmChannel channel) const;
    double volumeOf(BgmChannel channel) const;
    // Brightness, quality (with the default's mark) and resolution; the size fields follow the
    // resolution only through onResolutionChanged.
    void showChoices(const QZ_FPSControllerParameter& record, const Setting& setting,
                     int32_t defaultQuality);
    // An empty switch of the record leaves its box as it is.
    void showSwitches(const QZ_FPSControllerParameter& record);
    void showLauncherChoices(const LauncherSettings& settings, bool resetMode);
    void showLabels(const ParameterForm::CurrentValues& labels);
    void showFreeSize(bool shown);
    void setScreenSize(std::optional<int> width, std::optional<int> height);
    // Rounds the typed number to the field's decimal places ("1.26" -> "1.3" for one place).
    void roundTextFieldValue(QLineEdit* field);

    ParameterForm::Entries entries() const;
    // Back to the refused field, its text selected.
    void focus(const ParameterForm::Refusal& refusal);

private:
    // The five controls of one numeric parameter.
    struct NumericRow {
        const NumericParameter* parameter = nullptr;
        QLabel* label = nullptr;
        QLineEdit* textField = nullptr;
        QDoubleValidator* formatter = nullptr;
        QDoubleSpinBox* stepper = nullptr;
        QLabel* now = nullptr;
        int64_t point = 0;
    };

    void bindNumericRows(QWidget* view);
    void configureSizeFields();
    void keepInStep();
    void configureNumericControls(NumericRow& row, const SettingNumericUpDown& definition);
    void setNumericValue(NumericRow& row, double value);
    void textField_event(NumericRow& row);
    void textFieldEdited(NumericRow& row);
    void stepperChanged(NumericRow& row);

    Ui::ViewControllerFPSControllerParameter& m_ui;
    std::vector<NumericRow> m_rows;
};

} // namespace dravik
