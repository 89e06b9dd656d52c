#pragma once

#include <QPushButton>

namespace dravik {

// An ordinary button with a pointing-hand cursor.
class MyButton : public QPushButton {
    Q_OBJECT

public:
    explicit MyButton(QWidget* parent = nullptr) : QPushButton(parent) {
        setCursor(Qt::PointingHandCursor);
    }
};

} // namespace dravik
