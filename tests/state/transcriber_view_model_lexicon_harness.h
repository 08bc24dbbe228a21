#pragma once

// What the lexicon and learning tests share: the lexicon file and the
// audit trail as the controller leaves them in the test's data folder,
// waits for the controller's spawned lexicon work to finish, and stand-ins
// that hold a cloud sync or a history batch, or refuse a save, for as long
// as a test needs to overlap other work with it.

#include "models/personal_lexicon_snapshot.h"
#include "services/lexicon/personal_lexicon_event_logger.h"
#include "services/lexicon/personal_lexicon_store.h"
#include "services/lexicon/personal_lexicon_store_error.h"
#include "support/json_text.h"
#include "tests/state/view_model_harness.h"

#include <QDir>
#include <QFile>

#include <utility>

namespace tovalit::testing {

// The real store, whose saves a test can refuse as a full disk would, or
// hold (the next one only) until the test lets it go on, and whose next
// loads can fail to read as behind a permission.
class RefusingLexiconStore final : public PersonalLexiconStore {
public:
    using PersonalLexiconStore::PersonalLexiconStore;

    QCoro::Task<PersonalLexiconSnapshot> loadSnapshot() override {
        if (failingReads > 0) {
            --failingReads;
            throw PersonalLexiconStoreError(PersonalLexiconStoreError::Kind::ReadFailed,
                                            QStringLiteral("Permission denied"));
        }
        co_return co_await PersonalLexiconStore::loadSnapshot();
    }

    std::shared_ptr<Gate> holdNextSave() { return m_saveGate = std::make_shared<Gate>(); }
    int heldSaves = 0;

    using PersonalLexiconStore::saveSnapshot;
    QCoro::Task<PersonalLexiconSnapshot> saveSnapshot(PersonalLexiconSnapshot snapshot,
                                                      PreviousFile previous) override {
        if (std::shared_ptr<Gate> gate = std::exchange(m_saveGate, nullptr)) {
            ++heldSaves;
            co_await gate->wait();
        }
        if (refuseSaves) {
            throw PersonalLexiconStoreError(PersonalLexiconStoreError::Kind::WriteFailed,
                                            QStringLiteral("No space left on device"));
        }
        co_return co_await PersonalLexiconStore::saveSnapshot(std::move(snapshot), previous);
    }

    bool refuseSaves = false;
    int failingReads = 0;

private:
    std::shared_ptr<Gate> m_saveGate;
};

// The scripted gateway, except that the next lexicon sync, or the next
// history batch's look for its term extractor, can be held until the test
// lets it go on.
class HoldingGateway final : public GatewaySessionProviding {
public:
    explicit HoldingGateway(std::shared_ptr<ScriptedGatewaySession> inner)
        : m_inner(std::move(inner)) {}

    // Holds the next call only; later ones pass straight through.
    std::shared_ptr<Gate> holdNextSync() { return m_syncGate = std::make_shared<Gate>(); }
    std::shared_ptr<Gate> holdNextHistoryExtraction() {
        return m_extractionGate = std::make_shared<Gate>();
    }
    int heldSyncs = 0;
    int heldExtractions = 0;

    bool isAvailable() const override { return m_inner->isAvailable(); }
    QCoro::Task<std::optional<GatewaySession>> gatewaySession() override {
        return m_inner->gatewaySession();
    }
    QCoro::Task<std::optional<VellupSpeechConfiguration>>
    speechConfiguration(QString localeIdentifier) override {
        return m_inner->speechConfiguration(std::move(localeIdentifier));
    }
    QCoro::Task<std::optional<VellupStructuredFormatterConfiguration>>
    formatterConfiguration() override {
        return m_inner->formatterConfiguration();
    }
    QCoro::Task<std::optional<VellupStructuredFormatterConfiguration>>
    historyExtractorConfiguration() override {
        std::shared_ptr<Gate> gate = std::exchange(m_extractionGate, nullptr);
        if (gate)
            ++heldExtractions;
        return afterGate(std::move(gate), m_inner->historyExtractorConfiguration());
    }
    QCoro::Task<std::optional<GatewayLexiconSyncConfiguration>>
    lexiconSyncConfiguration() override {
        std::shared_ptr<Gate> gate = std::exchange(m_syncGate, nullptr);
        if (gate)
            ++heldSyncs;
        return afterGate(std::move(gate), m_inner->lexiconSyncConfiguration());
    }
    QCoro::Task<void> invalidateGatewaySession() override {
        return m_inner->invalidateGatewaySession();
    }

private:
    template <typename T>
    static QCoro::Task<T> afterGate(std::shared_ptr<Gate> gate, QCoro::Task<T> answer) {
        if (gate)
            co_await gate->wait();
        co_return co_await std::move(answer);
    }

    std::shared_ptr<ScriptedGatewaySession> m_inner;
    std::shared_ptr<Gate> m_syncGate;
    std::shared_ptr<Gate> m_extractionGate;
};

class LexiconTest : public ViewModelTest {
protected:
    // The lexicon lives in a folder of its own, so a test can take it away
    // from under the store while the audit trail goes on.
    LexiconTest() {
        QDir().mkpath(lexiconFolder());
        refusingStore = std::make_shared<RefusingLexiconStore>(
            lexiconFolder(), [](double, CancelToken) -> QCoro::Task<void> { co_return; });
        lexiconStore = refusingStore;
        // The controller talks to the scripted gateway through a holding one.
        adjustDependencies = [this](TranscriberViewModel::Dependencies &d) {
            d.gatewaySessionService = holdingGateway;
        };
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

    // A clean snapshot in step with the cloud: a start with it has nothing
    // to synchronise.
    PersonalLexiconSnapshot syncedSnapshot(QList<PersonalLexiconEntry> entries = {}) const {
        PersonalLexiconSnapshot snapshot = cleanSnapshot(std::move(entries));
        for (PersonalLexiconEntry &entry : snapshot.entries) {
            if (entry.participatesInCloudSync())
                entry.cloudSyncStatus = PersonalLexiconCloudSyncStatus::synced;
        }
        snapshot.cloudState.lastSyncedAt = time.now();
        return snapshot;
    }

    // Every entry with its switch, sorted: "Kestrel off",
    // "托瓦利特 -> Tovalit on"; those the lexicon page hides end in " hidden".
    static QStringList switches(const QList<PersonalLexiconEntry> &entries) {
        QStringList words;
        for (const PersonalLexiconEntry &entry : entries) {
            words << entry.displayText() +
                         (entry.enabled ? QStringLiteral(" on") : QStringLiteral(" off")) +
                         (entry.isUserVisible() ? QString() : QStringLiteral(" hidden"));
        }
        words.sort();
        return words;
    }

    PersonalLexiconEntry
    hotword(QString target,
            PersonalLexiconEntrySource learningSource = PersonalLexiconEntrySource::manual) const {
        return lexiconEntry(PersonalLexiconEntryKind::hotword, std::nullopt, std::move(target),
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

    // A hand-made hot word whose sync is held until the test opens the
    // returned gate; its local save is done by then.
    std::shared_ptr<Gate> addHotwordWithSyncHeld(const QString &target) {
        const int held = holdingGateway->heldSyncs;
        std::shared_ptr<Gate> sync = holdingGateway->holdNextSync();
        viewModel->saveManualLexiconEntry(std::nullopt, PersonalLexiconEntryKind::hotword,
                                          std::nullopt, target, true, 1, std::nullopt,
                                          std::nullopt);
        waitUntil([&] { return holdingGateway->heldSyncs == held + 1; }, "the held sync");
        return sync;
    }

    // Publishes `snapshot` through the controller's own load, as at start-up
    // (without the start-up's sync).
    void loadLexicon(const PersonalLexiconSnapshot &snapshot) {
        storeSnapshot(snapshot);
        runTask(viewModel->loadPersonalLexicon());
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
    std::shared_ptr<RefusingLexiconStore> refusingStore;
    std::shared_ptr<HoldingGateway> holdingGateway = std::make_shared<HoldingGateway>(gateway);
};

} // namespace tovalit::testing
