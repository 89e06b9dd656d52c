#include "ViewerWindow.h"

#include <QDateTime>
#include <QFont>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QSet>
#include <QSplitter>
#include <QStatusBar>
#include <QTableWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace kestrane {

namespace {

enum Column { ColumnFolder, ColumnStamp, ColumnFiles, ColumnSize, ColumnCount };

const QColor kMuted(0x80, 0x80, 0x80);
const QColor kWarning(0xc0, 0x30, 0x30);
const QColor kActive(0x1f, 0x5f, 0xbf);

} // namespace

ViewerWindow::ViewerWindow(QString baseFolder, QWidget* parent)
    : QMainWindow(parent), m_baseFolder(std::move(baseFolder)) {
    setWindowTitle(QStringLiteral("Kestrane"));
    buildUi();
    refresh();
    m_timer = new QTimer(this);
    m_timer->setInterval(1000);
    connect(m_timer, &QTimer::timeout, this, &ViewerWindow::refresh);
    m_timer->start();
}

void ViewerWindow::buildUi() {
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(14, 12, 14, 6);
    layout->setSpacing(8);

    auto* title = new QLabel(QStringLiteral("Kestrane バーチャル展示ビューア（代替版）"), central);
    QFont titleFont = title->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.4);
    titleFont.setBold(true);
    title->setFont(titleFont);
    layout->addWidget(title);
    auto* base = new QLabel(QStringLiteral("基準フォルダ: %1").arg(m_baseFolder), central);
    base->setTextInteractionFlags(Qt::TextSelectableByMouse);
    base->setStyleSheet(QStringLiteral("color: #606060;"));
    layout->addWidget(base);

    auto* splitter = new QSplitter(Qt::Horizontal, central);
    layout->addWidget(splitter, 1);

    auto* dataBox = new QGroupBox(QStringLiteral("会場データ（BackgroundData）"), splitter);
    auto* dataLayout = new QVBoxLayout(dataBox);
    m_tree = new QTreeWidget(dataBox);
    m_tree->setObjectName(QStringLiteral("tree_backgroundData"));
    m_tree->setColumnCount(ColumnCount);
    m_tree->setHeaderLabels({QStringLiteral("フォルダ"), QStringLiteral("更新スタンプ"),
                             QStringLiteral("ファイル数"), QStringLiteral("サイズ")});
    m_tree->setRootIsDecorated(true);
    m_tree->setAlternatingRowColors(true);
    m_tree->setUniformRowHeights(true);
    m_tree->header()->setStretchLastSection(false);
    m_tree->header()->setSectionResizeMode(ColumnFolder, QHeaderView::Stretch);
    m_tree->header()->setSectionResizeMode(ColumnStamp, QHeaderView::ResizeToContents);
    m_tree->header()->setSectionResizeMode(ColumnFiles, QHeaderView::ResizeToContents);
    m_tree->header()->setSectionResizeMode(ColumnSize, QHeaderView::ResizeToContents);
    dataLayout->addWidget(m_tree, 1);
    m_placeholder = new QLabel(dataBox);
    m_placeholder->setWordWrap(true);
    m_placeholder->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    m_placeholder->setContentsMargins(4, 8, 4, 8);
    m_placeholder->setStyleSheet(QStringLiteral("color: #808080;"));
    dataLayout->addWidget(m_placeholder);

    auto* side = new QWidget(splitter);
    auto* sideLayout = new QVBoxLayout(side);
    sideLayout->setContentsMargins(0, 0, 0, 0);
    auto* lobbyBox = new QGroupBox(QStringLiteral("ロビー表示（user.json）"), side);
    auto* lobbyLayout = new QVBoxLayout(lobbyBox);
    m_lobby = new QLabel(lobbyBox);
    m_lobby->setObjectName(QStringLiteral("label_lobbyDisplay"));
    m_lobby->setWordWrap(true);
    lobbyLayout->addWidget(m_lobby);
    sideLayout->addWidget(lobbyBox);

    auto* parameterBox =
        new QGroupBox(QStringLiteral("操作パラメータ（FPSControllerParameter.json）"), side);
    auto* parameterLayout = new QVBoxLayout(parameterBox);
    m_parameterStatus = new QLabel(parameterBox);
    m_parameterStatus->setWordWrap(true);
    parameterLayout->addWidget(m_parameterStatus);
    m_parameters = new QTableWidget(0, 2, parameterBox);
    m_parameters->setObjectName(QStringLiteral("table_parameters"));
    m_parameters->setHorizontalHeaderLabels({QStringLiteral("項目"), QStringLiteral("値")});
    m_parameters->verticalHeader()->setVisible(false);
    m_parameters->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_parameters->verticalHeader()->setDefaultSectionSize(m_parameters->fontMetrics().height() + 6);
    m_parameters->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_parameters->setSelectionMode(QAbstractItemView::NoSelection);
    m_parameters->setFocusPolicy(Qt::NoFocus);
    m_parameters->setAlternatingRowColors(true);
    m_parameters->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_parameters->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    parameterLayout->addWidget(m_parameters, 1);
    sideLayout->addWidget(parameterBox, 1);

    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);
    setCentralWidget(central);

    m_status = new QLabel(this);
    statusBar()->addWidget(m_status, 1);
}

void ViewerWindow::refresh() {
    const QList<HallSummary> halls = scanBackgroundData(m_baseFolder);
    showHalls(halls);
    showLobby(readLobbyDisplay(m_baseFolder));
    showParameters(readParameters(m_baseFolder));

    int booths = 0;
    int files = 0;
    int receiving = 0;
    qint64 bytes = 0;
    for (const HallSummary& hall : halls) {
        booths += static_cast<int>(hall.booths.size());
        files += hall.folder.files;
        bytes += hall.folder.bytes;
        receiving += hall.folder.receiving;
        for (const FolderSummary& booth : hall.booths) {
            files += booth.files;
            bytes += booth.bytes;
            receiving += booth.receiving;
        }
    }
    QString status = QStringLiteral("ホール %1 ・ ブース %2 ・ ファイル %3（%4）")
                         .arg(halls.size())
                         .arg(booths)
                         .arg(files)
                         .arg(formatBytes(bytes));
    if (receiving > 0)
        status += QStringLiteral(" ・ 受信中 %1").arg(receiving);
    status += QStringLiteral("　　1秒ごとに確認（最終 %1）")
                  .arg(QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss")));
    m_status->setText(status);
}

QTreeWidgetItem* ViewerWindow::itemFor(const QString& key, QTreeWidgetItem* parent) {
    if (QTreeWidgetItem* item = m_items.value(key))
        return item;
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(m_tree);
    item->setTextAlignment(ColumnFiles, Qt::AlignRight | Qt::AlignVCenter);
    item->setTextAlignment(ColumnSize, Qt::AlignRight | Qt::AlignVCenter);
    m_items.insert(key, item);
    return item;
}

void ViewerWindow::showHalls(const QList<HallSummary>& halls) {
    QSet<QString> seen;
    for (int h = 0; h < halls.size(); ++h) {
        const HallSummary& hall = halls[h];
        const QString hallKey = hall.folder.name;
        seen.insert(hallKey);
        const bool isNew = !m_items.contains(hallKey);
        QTreeWidgetItem* hallItem = itemFor(hallKey, nullptr);
        showFolder(
            hallItem, hall.folder,
            QStringLiteral("展示会 %1 ・ ホール %2").arg(hall.exhibitionId).arg(hall.folder.id));
        QFont bold = hallItem->font(ColumnFolder);
        bold.setBold(true);
        hallItem->setFont(ColumnFolder, bold);
        if (m_tree->indexOfTopLevelItem(hallItem) != h) {
            m_tree->takeTopLevelItem(m_tree->indexOfTopLevelItem(hallItem));
            m_tree->insertTopLevelItem(h, hallItem);
        }
        for (int b = 0; b < hall.booths.size(); ++b) {
            const FolderSummary& booth = hall.booths[b];
            const QString boothKey = hallKey + '/' + booth.name;
            seen.insert(boothKey);
            QTreeWidgetItem* boothItem = itemFor(boothKey, hallItem);
            showFolder(boothItem, booth, QStringLiteral("ブース %1").arg(booth.id));
            if (hallItem->indexOfChild(boothItem) != b) {
                hallItem->takeChild(hallItem->indexOfChild(boothItem));
                hallItem->insertChild(b, boothItem);
            }
        }
        if (isNew)
            hallItem->setExpanded(true);
    }
    // Folders that went away (the launcher removes outdated ones): children before their parents.
    QStringList gone;
    for (auto it = m_items.cbegin(); it != m_items.cend(); ++it) {
        if (!seen.contains(it.key()))
            gone.append(it.key());
    }
    std::sort(gone.begin(), gone.end(),
              [](const QString& a, const QString& b) { return a.count('/') > b.count('/'); });
    for (const QString& key : gone) {
        QTreeWidgetItem* item = m_items.take(key);
        for (int i = item->childCount() - 1; i >= 0; --i)
            m_items.remove(m_items.key(item->child(i)));
        delete item;
    }

    m_tree->setVisible(!halls.isEmpty());
    m_placeholder->setVisible(halls.isEmpty());
    m_placeholder->setText(
        QStringLiteral("会場データはまだありません。\n%1/Exhibition/BackgroundData にランチャーが"
                       "ダウンロードしたホールとブースのフォルダがここに表示されます。")
            .arg(m_baseFolder));
}

void ViewerWindow::showFolder(QTreeWidgetItem* item, const FolderSummary& folder,
                              const QString& title) {
    item->setText(ColumnFolder, title);
    item->setToolTip(ColumnFolder, folder.name);
    switch (folder.stampState) {
    case StampState::Present:
        item->setText(ColumnStamp,
                      folder.stamp.isEmpty() ? QStringLiteral("（空）") : folder.stamp);
        item->setForeground(ColumnStamp, QBrush());
        break;
    case StampState::Missing:
        item->setText(ColumnStamp, QStringLiteral("スタンプなし（未完了）"));
        item->setForeground(ColumnStamp, kMuted);
        break;
    case StampState::Invalid:
        item->setText(ColumnStamp, QStringLiteral("スタンプが読めません"));
        item->setForeground(ColumnStamp, kWarning);
        break;
    }
    QString files = QString::number(folder.files);
    if (folder.receiving > 0)
        files = QStringLiteral("%1 ＋受信中").arg(folder.files);
    item->setText(ColumnFiles, files);
    item->setForeground(ColumnFiles, folder.receiving > 0 ? QBrush(kActive) : QBrush());
    item->setText(ColumnSize, formatBytes(folder.bytes));
}

void ViewerWindow::showLobby(LobbyState state) {
    QString text;
    switch (state) {
    case LobbyState::NoFile:
        text = QStringLiteral("user.json がありません（ロビーは既定の表示）");
        break;
    case LobbyState::Unreadable:
        text = QStringLiteral("user.json を読めません");
        break;
    case LobbyState::NotSet:
        text = QStringLiteral("指定なし（LobbyDisplay がありません）");
        break;
    case LobbyState::On:
        text = QStringLiteral("ロビーを表示する（LobbyDisplay: true）");
        break;
    case LobbyState::Off:
        text = QStringLiteral("ロビーを表示しない（LobbyDisplay: false）");
        break;
    case LobbyState::NotBoolean:
        text = QStringLiteral("LobbyDisplay が true / false ではありません");
        break;
    }
    m_lobby->setText(text);
}

void ViewerWindow::showParameters(const ParameterSheet& sheet) {
    if (!sheet.fileFound)
        m_parameterStatus->setText(QStringLiteral("ファイルがありません。既定値で動作します。"));
    else if (!sheet.readable)
        m_parameterStatus->setText(QStringLiteral("ファイルを読めません（JSON ではありません）。"));
    m_parameterStatus->setVisible(!sheet.readable);
    m_parameters->setRowCount(static_cast<int>(sheet.rows.size()));
    for (int row = 0; row < sheet.rows.size(); ++row) {
        const ParameterRow& parameter = sheet.rows[row];
        for (int column = 0; column < 2; ++column) {
            if (!m_parameters->item(row, column))
                m_parameters->setItem(row, column, new QTableWidgetItem);
        }
        QTableWidgetItem* caption = m_parameters->item(row, 0);
        caption->setText(parameter.caption);
        caption->setToolTip(parameter.key);
        QTableWidgetItem* value = m_parameters->item(row, 1);
        value->setText(parameter.present ? parameter.value : QStringLiteral("—"));
        value->setForeground(parameter.present ? QBrush() : QBrush(kMuted));
    }
}

} // namespace kestrane
