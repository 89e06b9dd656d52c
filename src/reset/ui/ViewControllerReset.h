#pragma once

#include "app/SheetViewController.h"

#include <QWidget>
#include <memory>

namespace Ui {
class ViewControllerReset;
}

namespace dravik {

class SheetPlacement;

class Launcher;
class WindowController;
struct ResetChoices;

// The reset dialog: five boxes select what OK does (ResetActions); Cancel only closes. Shown as a
// sheet; its window is kept at a fixed size and centred on parentWindow after every layout pass.
class ViewControllerReset : public QWidget, public SheetViewController {
    Q_OBJECT

public:
    ViewControllerReset(Launcher& launcher, WindowController& window, QWidget* parent = nullptr);
    ~ViewControllerReset() override;

    void setResetParameter(bool on) override { _bResetParameter = on; }
    bool resetParameter() const { return _bResetParameter; }

    // The selection as the boxes hold it (a mixed box counts as off).
    ResetChoices choices() const;

    Ui::ViewControllerReset& ui() { return *m_ui; }

public slots:
    void buttonOK_Click();
    void buttonCancel_Click();

protected:
    bool event(QEvent* event) override;

private:
    void viewDidLoad();

    Launcher& m_launcher;
    std::unique_ptr<Ui::ViewControllerReset> m_ui;
    SheetPlacement* m_placement; // owned by this view
    bool _bResetParameter = false;
};

} // namespace dravik
