#pragma once

// Numbered contents of each kind of data file, for the tests that kill a
// process in the middle of saving: the saver writes version after version,
// and after the kill the file must hold exactly one of them. The contents
// grow and shrink with the version, so a file torn between two versions
// would show.

#include "models/instruction_library_entry.h"
#include "models/instruction_library_snapshot.h"
#include "models/personal_lexicon_entry.h"
#include "models/personal_lexicon_snapshot.h"
#include "models/transcript_record.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QString>
#include <QUuid>

#include <optional>
#include <utility>
#include <vector>

namespace tovalit::testing::savedversions {

inline QUuid fixedId(const QString &name) {
    static const QUuid space(QStringLiteral("{6f1c1f60-3d3b-4a57-9d21-0c5a2f3e9b10}"));
    return QUuid::createUuidV5(space, name);
}

inline const QDateTime epoch = QDateTime(QDate(2026, 3, 1), QTime(8, 0), Qt::UTC);

// "v12 what" followed by a filler whose length follows the version.
inline QString marked(int version, const QString &what) {
    return QStringLiteral("v%1 %2").arg(version).arg(what) +
           QString(version % 37 * 11, QLatin1Char('x'));
}

// The version a marked text belongs to, when it is whole.
inline std::optional<int> versionOf(const QString &text, const QString &what) {
    static const QRegularExpression pattern(QStringLiteral("^v(\\d+) "));
    const auto match = pattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const int version = match.captured(1).toInt();
    if (text != marked(version, what))
        return std::nullopt;
    return version;
}

inline PersonalLexiconSnapshot lexicon(int version) {
    PersonalLexiconSnapshot snapshot;
    for (int index = 0; index <= version % 23; ++index) {
        snapshot.entries.append(PersonalLexiconEntry(
            fixedId(QStringLiteral("term-%1").arg(index)), PersonalLexiconEntryKind::hotword,
            std::nullopt, std::nullopt, std::nullopt,
            marked(version, QStringLiteral("term-%1").arg(index)),
            PersonalLexiconEntrySource::manual, index, true,
            PersonalLexiconCloudSyncStatus::pending, epoch, epoch.addSecs(version), std::nullopt));
    }
    return snapshot;
}

inline QList<InstructionLibraryEntry> customInstructions(int version) {
    QList<InstructionLibraryEntry> entries;
    for (int index = 0; index <= version % 13; ++index) {
        const QString title = marked(version, QStringLiteral("指令%1").arg(index));
        entries.append(InstructionLibraryEntry(
            fixedId(QStringLiteral("instruction-%1").arg(index)), title,
            QStringLiteral("测试用指令。"), QStringLiteral("你是测试助手。"), {title},
            title + QStringLiteral(" + 内容"), InstructionLibraryCategory::writing,
            InstructionLibraryEntrySource::custom, true, 900, epoch, epoch.addSecs(version)));
    }
    return entries;
}

inline InstructionLibrarySnapshot instructions(int version) {
    InstructionLibrarySnapshot snapshot;
    snapshot.customEntries = customInstructions(version);
    return snapshot;
}

// Version n of the history appends the record of one of eight ids, newer
// each time, with its text marked n.
constexpr int historyIds = 8;

inline TranscriptRecord historyRecord(int version) {
    TranscriptRecord record;
    record.id = fixedId(QStringLiteral("record-%1").arg(version % historyIds));
    record.createdAt = epoch.addSecs(version);
    record.duration = 1 + version % 5;
    record.transcript = marked(version, QStringLiteral("dictation"));
    return record;
}

// The keys of the settings file and version n's value of each.
inline std::vector<std::pair<QString, QString>> settings(int version) {
    std::vector<std::pair<QString, QString>> values;
    for (const char *key :
         {"vellup_transcriber.preferredLocaleIdentifier", "vellup_transcriber.vellupResourceID",
          "vellup_transcriber.cachedMicrophonePermission", "vellup_transcriber.keepAudioFiles"}) {
        values.emplace_back(QString::fromLatin1(key),
                            marked(version, QString::fromLatin1(key).section(u'.', 1)));
    }
    return values;
}

} // namespace tovalit::testing::savedversions
