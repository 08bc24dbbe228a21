#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

namespace tovalit {

// What the history knows of a recording whose record is not written yet:
// when it began, whether it had become a meeting, and the words heard so
// far. One small file per recording, "<recording name>.json" in the data
// folder's "unfinished" folder, replaced whole as the words grow. A
// process that ends without filing the recording (a crash, a power loss,
// a session end that kills it) leaves the file, from which the next start
// files the recording with its words.
//
// Not thread-safe by itself: the history store's worker is its only user.
class UnfinishedRecordingJournal {
public:
    struct Entry {
        QString audioFileName;
        QDateTime startedAt;
        bool meeting = false;
        QString transcript;
    };

    // `folder` is where the entries live; created by the first write.
    explicit UnfinishedRecordingJournal(QString folder);

    // Replaces the recording's entry. Nothing on success, the system's
    // reason otherwise.
    std::optional<QString> write(const Entry &entry) const;
    // The recording's entry; nothing when there is none or it does not
    // decode (an entry cut short by a full disk is only a lost hint).
    std::optional<Entry> read(const QString &audioFileName) const;
    void remove(const QString &audioFileName) const;
    // The recordings that have an entry.
    QList<QString> audioFileNames() const;

private:
    QString pathOf(const QString &audioFileName) const;

    QString m_folder;
};

} // namespace tovalit
