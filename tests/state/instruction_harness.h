#pragma once

// The controller with its instruction library on the test's own data
// folder, and a stand-in chat-completions server behind the gateway's
// formatter configuration, so instruction runs and drafts go over the wire.

#include "models/instruction_library_catalog.h"
#include "services/instructions/instruction_library_store.h"
#include "services/lexicon/personal_lexicon_store.h"
#include "tests/models/instruction_test_entries.h"
#include "tests/state/view_model_harness.h"
#include "tests/support/chat_replies.h"
#include "tests/support/stand_in_http_server.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace tovalit::testing {

inline QJsonObject jsonBody(const RecordedHttpRequest &request) {
    return QJsonDocument::fromJson(request.body).object();
}

// The "content" of each message of a chat-completions request, in order.
inline QStringList messageContents(const RecordedHttpRequest &request) {
    QStringList contents;
    for (const QJsonValue &message : jsonBody(request).value(QStringLiteral("messages")).toArray())
        contents << message.toObject().value(QStringLiteral("content")).toString();
    return contents;
}

class InstructionControllerTest : public ViewModelTest {
protected:
    void SetUp() override { useGatewayForSpeechOnly(); }

    // Runs and drafts (and natural formatting) go to the stand-in server.
    void useModel() {
        gateway->defaultFormatter = VellupStructuredFormatterConfiguration{
            server.url(QStringLiteral("/api/proxy/format")), QStringLiteral("instruction-model"),
            QString(), QString(), QStringLiteral("tok-1")};
    }

    // Writes a library file with `custom` beside the current built-ins.
    void storeLibrary(const QList<InstructionLibraryEntry> &custom) {
        InstructionLibraryStore store(dataFolder());
        runTask(store.saveSnapshot(InstructionLibraryCatalog::defaultSnapshot(custom)));
    }
    // What the file holds now, read by a store of its own.
    InstructionLibrarySnapshot storedLibrary() {
        InstructionLibraryStore store(dataFolder());
        return runTask(store.loadSnapshot());
    }
    QString libraryPath() const {
        return dataFolder() + QStringLiteral("/") +
               QLatin1String(InstructionLibraryStore::libraryFileName);
    }

    // Puts a plain file where the data folder was, so that nothing can be
    // written there until unblockDataFolder().
    void blockDataFolder() {
        // Nothing may be on its way into the folder while it moves.
        TovalitDebugLogger::flush();
        ASSERT_TRUE(QDir().rename(dataFolder(), movedDataFolder()));
        QFile blocker(dataFolder());
        ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    }
    void unblockDataFolder() {
        TovalitDebugLogger::flush();
        EXPECT_TRUE(QFile::remove(dataFolder()));
        EXPECT_TRUE(QDir().rename(movedDataFolder(), dataFolder()));
    }

    // The controller as the application starts it, once its start-up loads
    // (the history last) are through. Its lexicon has nothing to save or
    // synchronise at start-up, so that afterwards only what a test does
    // writes to the data folder.
    void bootstrap() {
        if (!QFile::exists(dataFolder() + u'/' +
                           QLatin1String(PersonalLexiconStore::lexiconFileName))) {
            PersonalLexiconSnapshot quiet;
            quiet.cloudState.syncNamespace = QStringLiteral("0123456789abcdef0123456789abcdef");
            quiet.cloudState.lastSyncedAt = time.now();
            quiet.historyLearningState.lastDailyBatchAt = time.now();
            PersonalLexiconStore lexicon(dataFolder());
            runTask(lexicon.saveSnapshot(quiet));
        }
        makeViewModel(true);
        QObject::connect(viewModel.get(), &TranscriberViewModel::recordsChanged, viewModel.get(),
                         [this] { bootstrapped = true; });
        ASSERT_TRUE(waitUntil([this] { return bootstrapped; }, "the start-up loads"));
    }

    // Runs `action` and waits for the in-window toast it leads to, and for
    // that toast's timer.
    AppToastState toastAfter(const std::function<void()> &action) {
        const std::optional<AppToastState> before = viewModel->appToast();
        const std::size_t timers = toastSleeps.count();
        action();
        const bool shown = waitUntil(
            [&] {
                const std::optional<AppToastState> now = viewModel->appToast();
                return now && (!before || now->id != before->id) && toastSleeps.count() > timers;
            },
            "a toast");
        return shown ? *viewModel->appToast() : AppToastState{};
    }
    double lastToastDuration() const {
        const std::size_t count = toastSleeps.count();
        return count == 0 ? -1.0 : toastSleeps.at(count - 1).seconds;
    }

    const InstructionLibraryEntry *customEntry(const QString &title) const {
        m_customCopy = viewModel->instructionLibraryEntries();
        for (const InstructionLibraryEntry &entry : m_customCopy) {
            if (entry.title == title)
                return &entry;
        }
        return nullptr;
    }
    QStringList customTitles() const {
        QStringList titles;
        for (const InstructionLibraryEntry &entry : viewModel->instructionLibraryEntries())
            titles << entry.title;
        return titles;
    }
    static QStringList titlesOf(const QList<InstructionLibraryEntry> &entries) {
        QStringList titles;
        for (const InstructionLibraryEntry &entry : entries)
            titles << entry.title;
        return titles;
    }

    StandInHttpServer server;
    bool bootstrapped = false;

private:
    QString movedDataFolder() const { return dataFolder() + QStringLiteral(".moved"); }
    mutable QList<InstructionLibraryEntry> m_customCopy;
};

} // namespace tovalit::testing
