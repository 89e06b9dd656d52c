#include "ExhibitionData.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QRegularExpression>
#include <algorithm>

namespace kestrane {

namespace {

const QString kStampFile = QStringLiteral("updated_at.json");
const QString kTransferPrefix = QStringLiteral(".download-");

enum class Kind { Number, Integer, Text, Switch };

struct ParameterInfo {
    const char* key;
    const char* caption;
    Kind kind;
};

// The record's keys in their order, with the captions the launcher's editor shows by default.
const ParameterInfo kParameters[] = {
    {"rotateSpeed_mouse", "マウスの反応速度(向き)", Kind::Number},
    {"rotateSpeed_arrow", "矢印キーの反応速度(向き)", Kind::Number},
    {"moveSpeed_pc", "歩く速さ[↑]", Kind::Number},
    {"moveSpeed_wheel", "マウスホイールで進む距離の調整", Kind::Number},
    {"dashMoveSpeedRate", "走る速さ[Shift]+[↑]操作時の速度", Kind::Number},
    {"cameraPitchUpperLimit", "上向きの上限角度", Kind::Number},
    {"cameraPitchUnderLimit", "下向きの下限角度", Kind::Number},
    {"mouseSmoothingRate", "マウススムージングの掛かり具合", Kind::Number},
    {"optionRotateSpeedRate", "回転速度倍率", Kind::Number},
    {"optionMoveSpeedRate", "移動速度倍率", Kind::Number},
    {"optionEnvironmentRate", "足音や選択時の環境音の大きさ", Kind::Number},
    {"optionBGMRate", "会場の雰囲気BGM音量", Kind::Number},
    {"optionBGMName", "BGMファイル名（雑踏感など）", Kind::Text},
    {"showroomBGMRate", "ショールームのBGM音量", Kind::Number},
    {"showroomBGMName", "ショールームのBGMファイル名", Kind::Text},
    {"boothRangeUnderLimit", "ブース表示範囲の下限", Kind::Number},
    {"boothObjectRangeUnderLimit", "ブースオブジェクト表示範囲の下限", Kind::Number},
    {"isRangeAutoControl", "表示範囲を自動で調整する", Kind::Switch},
    {"boothRange", "ブース表示範囲", Kind::Number},
    {"boothObjectRange", "ブースオブジェクト表示範囲", Kind::Number},
    {"qualityLevel", "VRオブジェクトの描画品質", Kind::Integer},
    {"screenWidth", "画面の幅", Kind::Integer},
    {"screenHeight", "画面の高さ", Kind::Integer},
    {"isFullScreen", "フルスクリーン", Kind::Switch},
    {"dataValidTime", "会場データの保持時間(分)", Kind::Number},
    {"sendRecordTime", "行動履歴のアップロード間隔(秒)", Kind::Number},
    {"gammaValue", "展示ホール全体の明るさ(ガンマ補正)", Kind::Number},
};

bool readJsonObject(const QString& path, QJsonObject& object) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QJsonParseError error{};
    QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return false;
    object = document.object();
    return true;
}

bool parseId(const QString& text, qint64& id) {
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,18}$"));
    if (!digits.match(text).hasMatch())
        return false;
    id = text.toLongLong();
    return true;
}

QString showValue(const QJsonValue& value, Kind kind) {
    switch (kind) {
    case Kind::Switch:
        if (value.isBool())
            return value.toBool() ? QStringLiteral("オン") : QStringLiteral("オフ");
        break;
    case Kind::Text:
        if (value.isString())
            return value.toString();
        break;
    case Kind::Number:
    case Kind::Integer:
        if (value.isDouble())
            return QString::number(value.toDouble(), 'g', 10);
        break;
    }
    if (value.isNull())
        return QStringLiteral("null");
    // An unexpected type is shown as it stands in the file.
    QJsonObject holder{{QStringLiteral("v"), value}};
    QString text = QString::fromUtf8(QJsonDocument(holder).toJson(QJsonDocument::Compact));
    return text.mid(5, text.size() - 6);
}

int integerMember(const QJsonObject& object, const char* key) {
    QJsonValue value = object.value(QLatin1String(key));
    double number = value.toDouble(0);
    if (!value.isDouble() || number != static_cast<int>(number))
        return 0;
    return static_cast<int>(number);
}

} // namespace

FolderSummary summarizeFolder(const QString& path, const QString& name, qint64 id) {
    FolderSummary summary;
    summary.name = name;
    summary.id = id;
    QDir folder(path);
    const QFileInfoList entries =
        folder.entryInfoList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System);
    for (const QFileInfo& entry : entries) {
        const QString fileName = entry.fileName();
        if (fileName == kStampFile)
            continue;
        if (fileName.startsWith(kTransferPrefix)) {
            ++summary.receiving;
            continue;
        }
        ++summary.files;
        summary.bytes += entry.size();
    }
    if (QFileInfo::exists(folder.filePath(kStampFile))) {
        QJsonObject stamp;
        if (readJsonObject(folder.filePath(kStampFile), stamp) &&
            stamp.value(QStringLiteral("updated_at")).isString()) {
            summary.stampState = StampState::Present;
            summary.stamp = stamp.value(QStringLiteral("updated_at")).toString();
        } else {
            summary.stampState = StampState::Invalid;
        }
    }
    return summary;
}

QList<HallSummary> scanBackgroundData(const QString& baseFolder) {
    static const QRegularExpression hallName(
        QStringLiteral("^exhibition([0-9]{1,18})_hall([0-9]{1,18})$"));
    QList<HallSummary> halls;
    QDir root(baseFolder + QStringLiteral("/Exhibition/BackgroundData"));
    const QStringList names = root.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        QRegularExpressionMatch match = hallName.match(name);
        if (!match.hasMatch())
            continue;
        HallSummary hall;
        hall.exhibitionId = match.captured(1).toLongLong();
        const QString hallPath = root.filePath(name);
        hall.folder = summarizeFolder(hallPath, name, match.captured(2).toLongLong());
        const QStringList boothNames = QDir(hallPath).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        for (const QString& boothName : boothNames) {
            qint64 id = 0;
            if (parseId(boothName, id))
                hall.booths.append(summarizeFolder(hallPath + '/' + boothName, boothName, id));
        }
        std::sort(hall.booths.begin(), hall.booths.end(),
                  [](const FolderSummary& a, const FolderSummary& b) { return a.id < b.id; });
        halls.append(hall);
    }
    std::sort(halls.begin(), halls.end(), [](const HallSummary& a, const HallSummary& b) {
        return a.exhibitionId != b.exhibitionId ? a.exhibitionId < b.exhibitionId
                                                : a.folder.id < b.folder.id;
    });
    return halls;
}

LobbyState readLobbyDisplay(const QString& baseFolder) {
    const QString path = baseFolder + QStringLiteral("/Exhibition/user.json");
    if (!QFileInfo::exists(path))
        return LobbyState::NoFile;
    QJsonObject user;
    if (!readJsonObject(path, user))
        return LobbyState::Unreadable;
    const QJsonValue value = user.value(QStringLiteral("LobbyDisplay"));
    if (value.isUndefined())
        return LobbyState::NotSet;
    if (!value.isBool())
        return LobbyState::NotBoolean;
    return value.toBool() ? LobbyState::On : LobbyState::Off;
}

ParameterSheet readParameters(const QString& baseFolder) {
    ParameterSheet sheet;
    const QString path = baseFolder + QStringLiteral("/Exhibition/FPSControllerParameter.json");
    sheet.fileFound = QFileInfo::exists(path);
    QJsonObject object;
    sheet.readable = sheet.fileFound && readJsonObject(path, object);
    for (const ParameterInfo& info : kParameters) {
        ParameterRow row;
        row.key = QString::fromLatin1(info.key);
        row.caption = QString::fromUtf8(info.caption);
        const QJsonValue value = object.value(row.key);
        row.present = !value.isUndefined();
        if (row.present)
            row.value = showValue(value, info.kind);
        sheet.rows.append(row);
    }
    sheet.screenWidth = integerMember(object, "screenWidth");
    sheet.screenHeight = integerMember(object, "screenHeight");
    sheet.fullScreen = object.value(QStringLiteral("isFullScreen")).toBool(false);
    return sheet;
}

QString formatBytes(qint64 bytes) {
    if (bytes < 1024)
        return QStringLiteral("%1 B").arg(bytes);
    if (bytes < 1024 * 1024)
        return QStringLiteral("%1 KB").arg(static_cast<double>(bytes) / 1024.0, 0, 'f', 0);
    if (bytes < 1024LL * 1024 * 1024)
        return QStringLiteral("%1 MB").arg(static_cast<double>(bytes) / 1048576.0, 0, 'f', 1);
    return QStringLiteral("%1 GB").arg(static_cast<double>(bytes) / 1073741824.0, 0, 'f', 2);
}

} // namespace kestrane
