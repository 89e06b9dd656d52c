#pragma once

// What the launcher has prepared for the viewer, read from the base folder:
//   Exhibition/BackgroundData/exhibition<E>_hall<H>/[<booth id>/]   data files + updated_at.json
//   Exhibition/user.json                                              LobbyDisplay
//   Exhibition/FPSControllerParameter.json                            operation parameters

#include <QList>
#include <QString>
#include <QtGlobal>

namespace kestrane {

enum class StampState { Missing, Invalid, Present };

// One data folder: a hall folder (its plain files) or a booth folder.
struct FolderSummary {
    QString name;  // folder name on disk
    qint64 id = 0; // booth id, or the hall id for a hall folder
    StampState stampState = StampState::Missing;
    QString stamp; // the recorded updated_at when present
    int files = 0; // data files, without the stamp file and transfers in progress
    qint64 bytes = 0;
    int receiving = 0; // temporary files of transfers in progress (hidden ".download-" files)
};

struct HallSummary {
    qint64 exhibitionId = 0;
    FolderSummary folder;
    QList<FolderSummary> booths; // ascending id; folders whose name is not a number are skipped
};

// Every exhibition<E>_hall<H> folder under <base>/Exhibition/BackgroundData, ordered by exhibition
// and hall id. Empty when the folder does not exist.
QList<HallSummary> scanBackgroundData(const QString& baseFolder);

// The stamp of one folder: Missing without updated_at.json, Invalid when it is not an object with a
// string member updated_at.
FolderSummary summarizeFolder(const QString& path, const QString& name, qint64 id);

enum class LobbyState { NoFile, Unreadable, NotSet, On, Off, NotBoolean };
LobbyState readLobbyDisplay(const QString& baseFolder);

struct ParameterRow {
    QString key;
    QString caption;
    QString value; // as shown; empty when the key is absent
    bool present = false;
};

struct ParameterSheet {
    bool fileFound = false;
    bool readable = false;    // a JSON object
    QList<ParameterRow> rows; // the 27 parameters in file order of the record
    int screenWidth = 0;      // 0 when absent or not an integer
    int screenHeight = 0;
    bool fullScreen = false;
};

ParameterSheet readParameters(const QString& baseFolder);

// "1.5 MB", "320 KB", "12 B"
QString formatBytes(qint64 bytes);

} // namespace kestrane
