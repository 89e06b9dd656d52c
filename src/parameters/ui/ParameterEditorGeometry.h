#pragma once

#include <initializer_list>
#include <vector>

class QAbstractSpinBox;
class QGroupBox;
class QScrollArea;
class QWidget;

namespace dravik {

// The parameter editor's sizes: steppers that are only their arrows, groups stacked in a column
// that line up, and a sheet that scrolls instead of growing beyond the screen.
class ParameterEditorGeometry {
public:
    // Only the arrows, as wide as the style draws them: the text field beside it shows the number.
    static void configureStepper(QAbstractSpinBox* stepper);
    // Hidden controls keep their place, so the sheet does not jump.
    static void keepPlaceWhenHidden(std::initializer_list<QWidget*> controls);
    // The groups of each column share the widths of their caption and value columns.
    static void alignColumns(const std::vector<std::vector<QGroupBox*>>& columns);
    // A scroll area as large as its contents, within the screen of the view.
    static void fitToScreen(QScrollArea* area, QWidget* contents);
};

} // namespace dravik
