// The instruction library's state: loaded at start-up, edited by the
// library page and by voice-created instructions, saved whole and
// republished as the store wrote it.

#include "state/instructions/instruction_library_keeper.h"

#include "models/instruction_library_catalog.h"
#include "models/instruction_library_decoding_error.h"
#include "services/instructions/instruction_library_store.h"
#include "services/settings/tovalit_debug_logger.h"
#include "state/instructions/instruction_library_keeper_host.h"
#include "support/app_error.h"
#include "support/textkit.h"

#include <QFileInfo>
#include <QHash>
#include <QPointer>

namespace tovalit {

namespace {

QString quoted(const QString &prefix, const QString &title) {
    return prefix + QStringLiteral("“") + title + QStringLiteral("”");
}

} // namespace

InstructionLibraryKeeper::InstructionLibraryKeeper(
    InstructionLibraryKeeperHost &host, std::shared_ptr<InstructionLibraryStore> store,
    GatewaySessionRecovery &gatewayRecovery,
    std::shared_ptr<FloatingPanelCoordinating> floatingPanelCoordinator, Clock currentDate,
    Sleeper sleepForDuration)
    : m_host(host)
    , m_store(store ? std::move(store) : std::make_shared<InstructionLibraryStore>())
    , m_gatewayRecovery(gatewayRecovery)
    , m_floatingPanelCoordinator(std::move(floatingPanelCoordinator))
    , m_currentDate(std::move(currentDate))
    , m_sleepForDuration(std::move(sleepForDuration))
    , m_pendingCreateToken(QUuid::createUuid())
    , m_builtinTemplateVersion(InstructionLibraryCatalog::defaultBuiltinTemplatePack().version) {}

InstructionLibraryKeeper::~InstructionLibraryKeeper() {
    m_pendingCreateTask.cancel();
}

// --- Reading ---------------------------------------------------------------------------

QList<InstructionLibraryEntry> InstructionLibraryKeeper::allEntries() const {
    return InstructionLibraryCatalog::allEntries(m_host.builtinInstructionLibraryEntries(),
                                                 m_host.instructionLibraryEntries());
}

QList<InstructionLibraryEntry>
InstructionLibraryKeeper::sortedEntries(const QList<InstructionLibraryEntry> &entries) {
    // A survivor takes the place of the first entry with its key, so the
    // outcome never depends on hashing order.
    QList<InstructionLibraryEntry> unique;
    QHash<QString, qsizetype> positions;
    for (const InstructionLibraryEntry &entry : entries) {
        const QString key = entry.normalizedLookupKey();
        const auto found = positions.constFind(key);
        if (found == positions.cend()) {
            positions.insert(key, unique.size());
            unique.append(entry);
        } else if (entry.updatedAt > unique.at(*found).updatedAt) {
            unique[*found] = entry;
        }
    }
    return InstructionLibraryCatalog::allEntries({}, std::move(unique));
}

// --- Loading ---------------------------------------------------------------------------

QCoro::Task<void> InstructionLibraryKeeper::load() {
    QPointer<InstructionLibraryKeeper> self(this);
    const std::shared_ptr<AsyncMutex> mutex = m_libraryMutex;
    const AsyncMutex::Guard guard = co_await mutex->lock();
    if (self)
        co_await loadHoldingLease();
}

QCoro::Task<InstructionLibraryKeeper::LibraryLease> InstructionLibraryKeeper::acquireLibrary() {
    QPointer<InstructionLibraryKeeper> self(this);
    LibraryLease lease{m_libraryMutex, {}};
    lease.guard = co_await lease.mutex->lock();
    // Before a load has read the file (the start-up's, or after one that
    // could not read it), an empty list would be saved over the user's
    // stored instructions.
    if (self && !m_hasLoadedLibrary)
        co_await loadHoldingLease();
    co_return lease;
}

QCoro::Task<void> InstructionLibraryKeeper::loadHoldingLease() {
    QPointer<InstructionLibraryKeeper> self(this);
    const std::shared_ptr<InstructionLibraryStore> store = m_store;
    InstructionLibrarySnapshot snapshot;
    std::exception_ptr failure;
    bool undecodable = false;
    try {
        snapshot = co_await store->loadSnapshot();
    } catch (const InstructionLibraryDecodingError &) {
        failure = std::current_exception();
        undecodable = true;
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self)
        co_return;
    const bool isReread = m_libraryReadFailure.has_value();
    // A file that was read but does not decode is moved aside by the next
    // save. One that could not be read (a permission, a network folder)
    // may read fine later, and no save replaces it before it is read.
    m_hasLoadedLibrary = !failure || undecodable;
    m_libraryReadFailure.reset();
    if (failure) {
        const QString description = describeError(failure);
        if (!undecodable)
            m_libraryReadFailure = description;
        // The built-ins still work. A second failure to read is told by
        // the save it refuses.
        const InstructionLibraryBuiltinTemplatePack &pack =
            InstructionLibraryCatalog::defaultBuiltinTemplatePack();
        m_builtinTemplateVersion = pack.version;
        m_host.setBuiltinInstructionLibraryEntries(pack.entries);
        m_host.setInstructionLibraryEntries({});
        if (!isReread || undecodable)
            m_host.showAppToast(QStringLiteral("指令库加载失败：") + description, true, 2.2);
        co_return;
    }
    m_builtinTemplateVersion = snapshot.builtinTemplateVersion;
    m_host.setBuiltinInstructionLibraryEntries(snapshot.builtinEntries);
    m_host.setInstructionLibraryEntries(sortedEntries(snapshot.customEntries));
}

// --- Saving ----------------------------------------------------------------------------

QCoro::Task<std::optional<QString>>
InstructionLibraryKeeper::persistLibrary(QList<InstructionLibraryEntry> entries,
                                         std::optional<QString> toastMessage) {
    QPointer<InstructionLibraryKeeper> self(this);
    const std::shared_ptr<InstructionLibraryStore> store = m_store;
    InstructionLibrarySnapshot snapshot;
    snapshot.builtinTemplateVersion = m_builtinTemplateVersion;
    snapshot.builtinEntries = m_host.builtinInstructionLibraryEntries();
    snapshot.customEntries = sortedEntries(entries);

    InstructionLibrarySnapshot saved;
    // The file could not be read, even just now: it keeps what it holds.
    std::optional<QString> failure = m_libraryReadFailure;
    if (!failure) {
        try {
            saved = co_await store->saveSnapshot(std::move(snapshot));
        } catch (...) {
            failure = describeError(std::current_exception());
        }
    }
    if (!self)
        co_return std::nullopt;
    // Failed or not, the save may have kept the file it found.
    reportSetAsideFiles();
    if (failure) {
        // The lists keep showing what the file holds; the change is lost.
        m_host.showAppToast(QStringLiteral("指令库保存失败：") + *failure, true, 2.2);
        co_return failure;
    }
    m_builtinTemplateVersion = saved.builtinTemplateVersion;
    m_host.setBuiltinInstructionLibraryEntries(saved.builtinEntries);
    m_host.setInstructionLibraryEntries(sortedEntries(saved.customEntries));
    if (toastMessage && !textkit::isBlank(*toastMessage))
        m_host.showAppToast(*toastMessage, false, 1.6);
    co_return std::nullopt;
}

void InstructionLibraryKeeper::reportSetAsideFiles() {
    for (const InstructionLibraryStore::SetAsideFile &file : m_store->takeSetAsideFiles()) {
        const QString notice = setAsideNotice(file);
        TovalitDebugLogger::log(QStringLiteral("instructions.set_aside"),
                                notice + QStringLiteral(" | path=") + file.path);
        m_host.showAppNotice(notice);
    }
}

QString
InstructionLibraryKeeper::setAsideNotice(const InstructionLibraryStore::SetAsideFile &file) {
    using Why = InstructionLibraryStore::SetAsideFile::Why;
    QString notice;
    switch (file.why) {
    case Why::unread:
        notice = QStringLiteral("保存指令库时，原文件无法解析或未经读取，已保留为：");
        break;
    case Why::conflict:
        notice =
            QStringLiteral("指令库里有指令也被其他程序改过，已按本次修改保存，另一版本另存为：");
        break;
    }
    // The copy's name in full, which a folder in front of it would push
    // past the toast's lines: it sits beside instruction-library.json.
    return notice + QFileInfo(file.path).fileName();
}

// --- Editing ---------------------------------------------------------------------------

void InstructionLibraryKeeper::saveManualEntry(std::optional<QUuid> id, const QString &title,
                                               const QString &summary,
                                               const QString &promptTemplate,
                                               InstructionLibraryCategory category, bool enabled,
                                               qint64 maxTokens,
                                               std::optional<QDateTime> createdAt) {
    spawn(
        this,
        [this, id, title, summary, promptTemplate, category, enabled, maxTokens, createdAt] {
            return saveManualEntryNow(id, title, summary, promptTemplate, category, enabled,
                                      maxTokens, createdAt);
        },
        QStringLiteral("save instruction"));
}

QCoro::Task<void> InstructionLibraryKeeper::saveManualEntryNow(std::optional<QUuid> id,
                                                               QString title, QString summary,
                                                               QString promptTemplate,
                                                               InstructionLibraryCategory category,
                                                               bool enabled, qint64 maxTokens,
                                                               std::optional<QDateTime> createdAt) {
    const QString trimmedTitle = textkit::trimmed(title);
    const QString trimmedSummary = textkit::trimmed(summary);
    const QString trimmedPrompt = textkit::trimmed(promptTemplate);
    if (trimmedTitle.isEmpty() || trimmedPrompt.isEmpty()) {
        m_host.showAppToast(QStringLiteral("请先补全指令名称和 Prompt。"), true, 1.6);
        co_return;
    }

    QPointer<InstructionLibraryKeeper> self(this);
    const LibraryLease lease = co_await acquireLibrary();
    if (!self)
        co_return;
    const QDateTime now = m_currentDate();
    QList<InstructionLibraryEntry> entries = m_host.instructionLibraryEntries();
    // The edited entry goes first, so its old values are never consulted.
    if (id) {
        entries.removeIf([&](const InstructionLibraryEntry &entry) { return entry.id() == *id; });
    }
    const InstructionLibraryEntry made = InstructionLibraryEntry::makeCustom(
        id, trimmedTitle, trimmedSummary.isEmpty() ? QStringLiteral("自定义指令") : trimmedSummary,
        trimmedPrompt, category, enabled, maxTokens, createdAt.value_or(now), now);

    // A title that names another entry (up to case, width, accents and
    // spaces) updates that entry instead of adding a second one.
    const QString key = made.normalizedLookupKey();
    const auto existing =
        std::find_if(entries.begin(), entries.end(), [&](const InstructionLibraryEntry &entry) {
            return entry.normalizedLookupKey() == key;
        });
    if (existing != entries.end()) {
        *existing = InstructionLibraryEntry::makeCustom(
            existing->id(), trimmedTitle,
            trimmedSummary.isEmpty() ? existing->summary : trimmedSummary, trimmedPrompt, category,
            enabled, std::max(existing->maxTokens, maxTokens), existing->createdAt, now);
    } else {
        entries.append(made);
    }
    const QString message =
        quoted(id ? QStringLiteral("已更新指令") : QStringLiteral("已新增指令"), trimmedTitle);
    co_await persistLibrary(std::move(entries), message);
}

void InstructionLibraryKeeper::toggleEntry(const InstructionLibraryEntry &entry) {
    if (entry.source != InstructionLibraryEntrySource::custom)
        return;
    spawn(
        this, [this, id = entry.id()] { return toggleEntryNow(id); },
        QStringLiteral("toggle instruction"));
}

QCoro::Task<void> InstructionLibraryKeeper::toggleEntryNow(QUuid id) {
    QPointer<InstructionLibraryKeeper> self(this);
    const LibraryLease lease = co_await acquireLibrary();
    if (!self)
        co_return;
    QList<InstructionLibraryEntry> entries = m_host.instructionLibraryEntries();
    const auto found =
        std::find_if(entries.begin(), entries.end(),
                     [&](const InstructionLibraryEntry &entry) { return entry.id() == id; });
    if (found == entries.end())
        co_return;
    found->enabled = !found->enabled;
    found->updatedAt = m_currentDate();
    const QString message = quoted(
        found->enabled ? QStringLiteral("已启用指令") : QStringLiteral("已停用指令"), found->title);
    co_await persistLibrary(std::move(entries), message);
}

void InstructionLibraryKeeper::deleteEntry(const InstructionLibraryEntry &entry) {
    if (entry.source != InstructionLibraryEntrySource::custom)
        return;
    spawn(
        this, [this, entry] { return deleteEntryNow(entry); },
        QStringLiteral("delete instruction"));
}

QCoro::Task<void> InstructionLibraryKeeper::deleteEntryNow(InstructionLibraryEntry entry) {
    QPointer<InstructionLibraryKeeper> self(this);
    const LibraryLease lease = co_await acquireLibrary();
    if (!self)
        co_return;
    QList<InstructionLibraryEntry> entries = m_host.instructionLibraryEntries();
    entries.removeIf([&](const InstructionLibraryEntry &kept) { return kept.id() == entry.id(); });
    // Saved and confirmed also when another edit removed it first: the
    // user's intent holds either way.
    co_await persistLibrary(std::move(entries), quoted(QStringLiteral("已删除指令"), entry.title));
}

} // namespace tovalit
