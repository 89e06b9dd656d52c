#include "parameters/ui/ParameterEditorGeometry.h"

#include <QAbstractSpinBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLayout>
#include <QLineEdit>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QStyleOption>
#include <algorithm>

namespace dravik {

void ParameterEditorGeometry::configureStepper(QAbstractSpinBox* stepper) {
    if (auto* edit = stepper->findChild<QLineEdit*>())
        edit->hide();
    stepper->setFocusPolicy(Qt::NoFocus);
    stepper->setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    // The arrows' width, plus the frame on their left.
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
    keepPlaceWhenHidden({stepper});
}

void ParameterEditorGeometry::keepPlaceWhenHidden(std::initializer_list<QWidget*> controls) {
    for (QWidget* control : controls) {
        QSizePolicy policy = control->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        control->setSizePolicy(policy);
    }
}

void ParameterEditorGeometry::alignColumns(const std::vector<std::vector<QGroupBox*>>& columns) {
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

void ParameterEditorGeometry::fitToScreen(QScrollArea* area, QWidget* contents) {
    // Short screens get a scrolling sheet; the buttons below stay in view. The texts set when
    // the view was loaded have not reached the cached layout sizes yet.
    for (QLayout* layout : contents->findChildren<QLayout*>())
        layout->invalidate();
    QSize content = contents->sizeHint();
    QRect available = area->screen()->availableGeometry();
    int scrollBar = area->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    // Room for the title bar, the sheet's margins and the button row.
    int maxHeight = available.height() - 140;
    int maxWidth = available.width() - 60;
    QSize size(std::min(content.width(), maxWidth), std::min(content.height(), maxHeight));
    if (content.height() > maxHeight)
        size.rwidth() = std::min(size.width() + scrollBar, maxWidth);
    if (content.width() > maxWidth)
        size.rheight() = std::min(size.height() + scrollBar, maxHeight);
    area->setMinimumSize(size);
}

} // namespace dravik
