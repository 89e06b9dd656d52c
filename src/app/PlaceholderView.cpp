#include "app/PlaceholderView.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace dravik {

PlaceholderView::PlaceholderView(const QString& name, QWidget* parent) : QWidget(parent) {
    setObjectName(name);
    setWindowTitle(name);
    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel(QString("「%1」の画面はまだありません。").arg(name), this);
    label->setAlignment(Qt::AlignCenter);
    layout->addWidget(label);
    auto* close = new QPushButton("閉じる", this);
    layout->addWidget(close);
    connect(close, &QPushButton::clicked, this, [this] {
        callResultHandler();
        window()->close();
    });
    setMinimumSize(420, 160);
}

} // namespace dravik
