#pragma once

#include "app/SheetViewController.h"
#include "common/Lifetime.h"
#include "parameters/BgmPreview.h"
#include "parameters/ParameterForm.h"
#include "parameters/QZ_FPSControllerParameter.h"
#include "parameters/Setting.h"

#include <QPointer>
#include <QWidget>
#include <memory>
#include <optional>
#include <string>

class QDoubleSpinBox;

namespace Ui {
class ViewControllerFPSControllerParameter;
}

namespace dravik {

class SheetPlacement;
class ParameterEditorControls;

class Launcher;
class WindowController;

// The editor of the viewer's operation parameters, shown as a sheet over the main window. It
// shows each parameter within the limits of the definitions file, previews the background music
// and writes the parameter file and four launcher settings on Save (and when its window closes).
class ViewControllerFPSControllerParameter : public QWidget, public SheetViewController {
    Q_OBJECT

public:
    ViewControllerFPSControllerParameter(Launcher& launcher, WindowController& window,
                                         QWidget* parent = nullptr);
    ~ViewControllerFPSControllerParameter() override;

    Ui::ViewControllerFPSControllerParameter& ui() { return *m_ui; }
    bool resetFlag() const { return m_resetFlag; }
    const QZ_FPSControllerParameter& defaultParameters() const { return m_parameter_default; }

    void applyDefinitions();
    void showValues(const QZ_FPSControllerParameter& record, bool resetMode);
    void showCurrentValues(const QZ_FPSControllerParameter& record);
    void clearCurrentValues();
    void onResolutionChanged();
    // Writes the parameter file and the launcher settings and runs the result handler; true when
    // the parameter file was written.
    bool saveAll();
    // The reset dialog's result handler: the definition defaults go into the controls, and the
    // next save also writes the reset keys.
    void onResetFinished();

public slots:
    void buttonSave_Click();
    void buttonCancel_Click();
    void buttonReset_Click();
    void button_display_Click();
    void comboBox_resolution_SelectedIndexChanged();
    void button_play_Click();
    void button_showroom_play_Click();
    void comboBox_optionBGMName_Change();
    void comboBox_showroomBGMName_Change();
    void optionBGMRate_Change();
    void showroomBGMRate_Change();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void viewDidLoad();
    // Window closing other than by Save or Cancel; false keeps the window open.
    bool windowWillClose();
    void prepareResetDialog(QWidget* destination);
    void dismiss();

    void connectControls();
    // Every visible number must lie within its range before anything is written.
    bool checkNumbers();

    void togglePreview(BgmChannel channel);
    void previewSelectionChanged(BgmChannel channel);
    void showPreviewTitles();

    Launcher& m_launcher;
    WindowController& m_window;
    std::unique_ptr<Ui::ViewControllerFPSControllerParameter> m_ui;
    ParameterEditorControls* m_controls = nullptr; // owned by this view

    std::unique_ptr<BgmPreview> m_preview;
    QZ_FPSControllerParameter m_parameter_default;
    bool m_update_default = true;
    bool m_resetFlag = false;
    Setting m_setting;
    ParameterForm m_form{m_setting};

    bool m_dismissing = false;
    QPointer<QWidget> m_watchedWindow;
    SheetPlacement* m_placement; // owned by this view
    // The reset dialog's result reaches the editor only while this lives.
    Lifetime m_lifetime;
};

} // namespace dravik
