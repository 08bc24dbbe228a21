#pragma once

// What the lexicon and learning tests share: the lexicon file and the
// audit trail as the controller leaves them in the test's data folder, and
// waits for the controller's spawned lexicon work to finish.

#include "models/personal_lexicon_snapshot.h"
#include "services/lexicon/personal_lexicon_event_logger.h"
#include "services/lexicon/personal_lexicon_store.h"
#include "support/json_text.h"
#include "tests/state/view_model_harness.h"

#include <QDir>
#include <QFile>

namespace tovalit::testing {

class LexiconTest : public ViewModelTest {
protected:
    // The lexicon lives in a folder of its own, so a test can take it away
    // from under the store while the audit trail goes on.
    LexiconTest() {
        QDir().mkpath(lexiconFolder());
        lexiconStore = std::make_shared<PersonalLexiconStore>(lexiconFolder());
    }

    QString lexiconFolder() const { return dataFolder() + QStringLiteral("/lexicon"); }
    QString lexiconPath() const {
        return lexiconFolder() + u'/' + QLatin1String(PersonalLexiconStore::lexiconFileName);
    }
    // Every later save fails: the folder is now a plain file.
    void breakLexiconFolder() {
        QDir(lexiconFolder()).removeRecursively();
        QFile blocker(lexiconFolder());
        ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    }

    // --- The lexicon file -------------------------------------------------------------------

    void storeSnapshot(const PersonalLexiconSnapshot &snapshot) {
        PersonalLexiconStore store(lexiconFolder());
        runTask(store.saveSnapshot(snapshot));
    }
    PersonalLexiconSnapshot storedSnapshot() const {
        QFile file(lexiconPath());
        EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << "no lexicon file";
        return PersonalLexiconSnapshot::fromFileBytes(file.readAll());
    }
    QByteArray storedBytes() const {
        QFile file(lexiconPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // A snapshot that loading publishes as it stands.
    PersonalLexiconSnapshot cleanSnapshot(QList<PersonalLexiconEntry> entries = {}) const {
        PersonalLexiconSnapshot snapshot;
        snapshot.entries = std::move(entries);
        snapshot.cloudState.syncNamespace = QStringLiteral("0123456789abcdef0123456789abcdef");
        snapshot.historyLearningState.lastDailyBatchAt = time.now();
        return snapshot;
    }

    PersonalLexiconEntry
    entry(PersonalLexiconEntryKind kind, std::optional<QString> source, QString target,
          PersonalLexiconEntrySource learningSource = PersonalLexiconEntrySource::manual,
          qint64 hitCount = 5, bool enabled = true) const {
        const QDateTime when(QDate(2026, 3, 1), QTime(8, 0), Qt::UTC);
        return PersonalLexiconEntry(QUuid::createUuid(), kind, std::nullopt, std::nullopt,
                                    std::move(source), std::move(target), learningSource, hitCount,
                                    enabled,
                                    enabled ? PersonalLexiconCloudSyncStatus::pending
                                            : PersonalLexiconCloudSyncStatus::localOnly,
                                    when, when, std::nullopt);
    }
    PersonalLexiconEntry
    hotword(QString target,
            PersonalLexiconEntrySource learningSource = PersonalLexiconEntrySource::manual) const {
        return entry(PersonalLexiconEntryKind::hotword, std::nullopt, std::move(target),
                     learningSource);
    }

    // The controller as the application starts it: lexicon, instructions,
    // history and the day's history batch, one after the other.
    void startUp() {
        makeViewModel(true);
        QObject::connect(viewModel.get(), &TranscriberViewModel::recordsChanged, viewModel.get(),
                         [this] { historyLoaded = true; });
    }
    // The start-up has reached the history; a batch it starts may still run.
    void waitForHistory() {
        waitUntil([&] { return historyLoaded; }, "the history to load");
        settle();
    }

    // Publishes `snapshot` through the controller's own load, as at start-up.
    void loadLexicon(const PersonalLexiconSnapshot &snapshot) {
        storeSnapshot(snapshot);
        runTask(viewModel->refreshPersonalLexicon());
    }

    // --- The audit trail ----------------------------------------------------------------------

    QList<PersonalLexiconAuditEvent> auditEvents() const {
        QFile file(dataFolder() + u'/' + QLatin1String(PersonalLexiconEventLogger::auditFileName));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QList<PersonalLexiconAuditEvent> events;
        for (const QByteArray &line : file.readAll().split('\n')) {
            if (line.isEmpty())
                continue;
            events << PersonalLexiconAuditEvent::fromJson(json::parseObject(line).value());
        }
        return events;
    }
    QStringList actions() const {
        QStringList words;
        for (const PersonalLexiconAuditEvent &event : auditEvents())
            words << event.action;
        return words;
    }
    // The actions after the first `skip` ones.
    QStringList actionsSince(qsizetype skip) const { return actions().mid(skip); }
    std::optional<PersonalLexiconAuditEvent> lastEvent(const QString &action) const {
        const QList<PersonalLexiconAuditEvent> events = auditEvents();
        for (auto it = events.crbegin(); it != events.crend(); ++it) {
            if (it->action == action)
                return *it;
        }
        return std::nullopt;
    }
    // Waits until the trail holds `count` events with the action.
    bool waitForAction(const QString &action, qsizetype count = 1) {
        const QByteArray description = (action + QStringLiteral(" in the audit trail")).toUtf8();
        const bool reached =
            waitUntil([&] { return actions().count(action) >= count; }, description.constData());
        settle();
        return reached;
    }

    bool historyLoaded = false;
};

} // namespace tovalit::testing
