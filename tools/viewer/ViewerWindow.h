#pragma once

#include "ExhibitionData.h"

#include <QHash>
#include <QMainWindow>
#include <QString>

class QLabel;
class QTableWidget;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

namespace kestrane {

// Shows the hall and booth folders with their stamps and file counts, the lobby display switch and
// the operation parameters, read again every second.
class ViewerWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit ViewerWindow(QString baseFolder, QWidget* parent = nullptr);

    // Reads the files again and updates the window; the timer calls it every second.
    void refresh();

private:
    void buildUi();
    void showHalls(const QList<HallSummary>& halls);
    void showFolder(QTreeWidgetItem* item, const FolderSummary& folder, const QString& title);
    void showLobby(LobbyState state);
    void showParameters(const ParameterSheet& sheet);
    QTreeWidgetItem* itemFor(const QString& key, QTreeWidgetItem* parent);

    QString m_baseFolder;
    QTreeWidget* m_tree = nullptr;
    QLabel* m_placeholder = nullptr;
    QLabel* m_lobby = nullptr;
    QLabel* m_parameterStatus = nullptr;
    QTableWidget* m_parameters = nullptr;
    QLabel* m_status = nullptr;
    QTimer* m_timer = nullptr;
    QHash<QString, QTreeWidgetItem*> m_items;
};

} // namespace kestrane
