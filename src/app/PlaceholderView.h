#pragma once

#include "app/SheetViewController.h"

#include <QWidget>

namespace dravik {

// Stands in for a view that is not built yet, and says so in its window.
class PlaceholderView : public QWidget, public SheetViewController {
    Q_OBJECT

public:
    explicit PlaceholderView(const QString& name, QWidget* parent = nullptr);
};

} // namespace dravik
