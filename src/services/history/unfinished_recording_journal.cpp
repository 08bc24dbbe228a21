#include "services/history/unfinished_recording_journal.h"

#include "support/atomic_file.h"
#include "support/json_text.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>

namespace tovalit {

namespace {

const QString suffix = QStringLiteral(".json");

} // namespace

UnfinishedRecordingJournal::UnfinishedRecordingJournal(QString folder)
    : m_folder(std::move(folder)) {}

QString UnfinishedRecordingJournal::pathOf(const QString &audioFileName) const {
    return m_folder + u'/' + audioFileName + suffix;
}

std::optional<QString> UnfinishedRecordingJournal::write(const Entry &entry) const {
    if (!QFileInfo(m_folder).isDir() && !QDir().mkpath(m_folder))
        return QStringLiteral("无法创建文件夹：") + QDir::toNativeSeparators(m_folder);
    QJsonObject object;
    object.insert(QStringLiteral("audioFileName"), entry.audioFileName);
    json::insertDate(object, QStringLiteral("startedAt"), entry.startedAt);
    object.insert(QStringLiteral("meeting"), entry.meeting);
    object.insert(QStringLiteral("transcript"), entry.transcript);
    return atomicfile::replace(pathOf(entry.audioFileName), json::compact(object));
}

std::optional<UnfinishedRecordingJournal::Entry>
UnfinishedRecordingJournal::read(const QString &audioFileName) const {
    QFile file(pathOf(audioFileName));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const std::optional<QJsonObject> object = json::parseObject(file.readAll());
    if (!object || json::string(*object, u"audioFileName") != audioFileName)
        return std::nullopt;
    Entry entry;
    entry.audioFileName = audioFileName;
    entry.startedAt = json::date(*object, u"startedAt").value_or(QDateTime());
    entry.meeting = json::boolean(*object, u"meeting").value_or(false);
    entry.transcript = json::string(*object, u"transcript").value_or(QString());
    return entry;
}

void UnfinishedRecordingJournal::remove(const QString &audioFileName) const {
    QFile::remove(pathOf(audioFileName));
}

QList<QString> UnfinishedRecordingJournal::audioFileNames() const {
    QList<QString> names;
    const QStringList entries =
        QDir(m_folder).entryList({QStringLiteral("*") + suffix}, QDir::Files);
    for (const QString &entry : entries)
        names.append(entry.chopped(suffix.size()));
    return names;
}

} // namespace tovalit
