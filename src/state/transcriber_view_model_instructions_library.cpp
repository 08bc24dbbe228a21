// The instruction library as the controller holds it: loaded at start-up,
// edited by the library page and by voice-created instructions, saved whole
// and republished as the store wrote it.

#include "models/instruction_library_catalog.h"
#include "models/instruction_library_decoding_error.h"
#include "services/instructions/instruction_library_store.h"
#include "state/transcriber_view_model.h"
#include "support/textkit.h"

#include <QHash>
#include <QPointer>

namespace tovalit {

namespace {

QString quoted(const QString &prefix, const QString &title) {
    return prefix + QStringLiteral("“") + title + QStringLiteral("”");
}

} // namespace

// --- Reading ---------------------------------------------------------------------------

QList<InstructionLibraryEntry> TranscriberViewModel::allInstructionLibraryEntries() const {
    return InstructionLibraryCatalog::allEntries(m_builtinInstructionLibraryEntries,
                                                 m_instructionLibraryEntries);
}

QList<InstructionLibraryEntry> TranscriberViewModel::sortedInstructionLibraryEntries(
    const QList<InstructionLibraryEntry> &entries) {
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

QCoro::Task<void> TranscriberViewModel::loadInstructionLibrary() {
    QPointer<TranscriberViewModel> self(this);
    const std::shared_ptr<AsyncMutex> mutex = m_instructionLibraryMutex;
    const AsyncMutex::Guard guard = co_await mutex->lock();
    if (self)
        co_await loadInstructionLibraryHoldingLease();
}

QCoro::Task<TranscriberViewModel::InstructionLibraryLease>
TranscriberViewModel::acquireInstructionLibrary() {
    QPointer<TranscriberViewModel> self(this);
    InstructionLibraryLease lease{m_instructionLibraryMutex, {}};
    lease.guard = co_await lease.mutex->lock();
    // Before a load has read the file (the start-up's, or after one that
    // could not read it), an empty list would be saved over the user's
    // stored instructions.
    if (self && !m_hasLoadedInstructionLibrary)
        co_await loadInstructionLibraryHoldingLease();
    co_return lease;
}

QCoro::Task<void> TranscriberViewModel::loadInstructionLibraryHoldingLease() {
    QPointer<TranscriberViewModel> self(this);
    const std::shared_ptr<InstructionLibraryStore> store = m_instructionLibraryStore;
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
    const bool isReread = m_instructionLibraryReadFailure.has_value();
    // A file that was read but does not decode is moved aside by the next
    // save. One that could not be read (a permission, a network folder)
    // may read fine later, and no save replaces it before it is read.
    m_hasLoadedInstructionLibrary = !failure || undecodable;
    m_instructionLibraryReadFailure.reset();
    if (failure) {
        const QString description = describeError(failure);
        if (!undecodable)
            m_instructionLibraryReadFailure = description;
        // The built-ins still work. A second failure to read is told by
        // the save it refuses.
        const InstructionLibraryBuiltinTemplatePack &pack =
            InstructionLibraryCatalog::defaultBuiltinTemplatePack();
        m_builtinInstructionTemplateVersion = pack.version;
        setBuiltinInstructionLibraryEntries(pack.entries);
        setInstructionLibraryEntries({});
        if (!isReread || undecodable)
            showAppToast(QStringLiteral("指令库加载失败：") + description, true, 2.2);
        co_return;
    }
    m_builtinInstructionTemplateVersion = snapshot.builtinTemplateVersion;
    setBuiltinInstructionLibraryEntries(snapshot.builtinEntries);
    setInstructionLibraryEntries(sortedInstructionLibraryEntries(snapshot.customEntries));
}

// --- Saving ----------------------------------------------------------------------------

QCoro::Task<std::optional<QString>>
TranscriberViewModel::persistInstructionLibrary(QList<InstructionLibraryEntry> entries,
                                                std::optional<QString> toastMessage) {
    QPointer<TranscriberViewModel> self(this);
    const std::shared_ptr<InstructionLibraryStore> store = m_instructionLibraryStore;
    InstructionLibrarySnapshot snapshot;
    snapshot.builtinTemplateVersion = m_builtinInstructionTemplateVersion;
    snapshot.builtinEntries = m_builtinInstructionLibraryEntries;
    snapshot.customEntries = sortedInstructionLibraryEntries(entries);

    InstructionLibrarySnapshot saved;
    // The file could not be read, even just now: it keeps what it holds.
    std::optional<QString> failure = m_instructionLibraryReadFailure;
    if (!failure) {
        try {
            saved = co_await store->saveSnapshot(std::move(snapshot));
        } catch (...) {
            failure = describeError(std::current_exception());
        }
    }
    if (!self)
        co_return std::nullopt;
    if (failure) {
        // The lists keep showing what the file holds; the change is lost.
        showAppToast(QStringLiteral("指令库保存失败：") + *failure, true, 2.2);
        co_return failure;
    }
    m_builtinInstructionTemplateVersion = saved.builtinTemplateVersion;
    setBuiltinInstructionLibraryEntries(saved.builtinEntries);
    setInstructionLibraryEntries(sortedInstructionLibraryEntries(saved.customEntries));
    if (toastMessage && !textkit::isBlank(*toastMessage))
        showAppToast(*toastMessage, false, 1.6);
    co_return std::nullopt;
}

// --- Editing ---------------------------------------------------------------------------

void TranscriberViewModel::saveManualInstructionEntry(std::optional<QUuid> id, const QString &title,
                                                      const QString &summary,
                                                      const QString &promptTemplate,
                                                      InstructionLibraryCategory category,
                                                      bool enabled, qint64 maxTokens,
                                                      std::optional<QDateTime> createdAt) {
    spawn(
        this,
        [this, id, title, summary, promptTemplate, category, enabled, maxTokens, createdAt] {
            return saveManualInstructionEntryNow(id, title, summary, promptTemplate, category,
                                                 enabled, maxTokens, createdAt);
        },
        QStringLiteral("save instruction"));
}

QCoro::Task<void> TranscriberViewModel::saveManualInstructionEntryNow(
    std::optional<QUuid> id, QString title, QString summary, QString promptTemplate,
    InstructionLibraryCategory category, bool enabled, qint64 maxTokens,
    std::optional<QDateTime> createdAt) {
    const QString trimmedTitle = textkit::trimmed(title);
    const QString trimmedSummary = textkit::trimmed(summary);
    const QString trimmedPrompt = textkit::trimmed(promptTemplate);
    if (trimmedTitle.isEmpty() || trimmedPrompt.isEmpty()) {
        showAppToast(QStringLiteral("请先补全指令名称和 Prompt。"), true, 1.6);
        co_return;
    }

    QPointer<TranscriberViewModel> self(this);
    const InstructionLibraryLease lease = co_await acquireInstructionLibrary();
    if (!self)
        co_return;
    const QDateTime now = m_currentDate();
    QList<InstructionLibraryEntry> entries = m_instructionLibraryEntries;
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
    co_await persistInstructionLibrary(std::move(entries), message);
}

void TranscriberViewModel::toggleInstructionEntry(const InstructionLibraryEntry &entry) {
    if (entry.source != InstructionLibraryEntrySource::custom)
        return;
    spawn(
        this, [this, id = entry.id()] { return toggleInstructionEntryNow(id); },
        QStringLiteral("toggle instruction"));
}

QCoro::Task<void> TranscriberViewModel::toggleInstructionEntryNow(QUuid id) {
    QPointer<TranscriberViewModel> self(this);
    const InstructionLibraryLease lease = co_await acquireInstructionLibrary();
    if (!self)
        co_return;
    QList<InstructionLibraryEntry> entries = m_instructionLibraryEntries;
    const auto found =
        std::find_if(entries.begin(), entries.end(),
                     [&](const InstructionLibraryEntry &entry) { return entry.id() == id; });
    if (found == entries.end())
        co_return;
    found->enabled = !found->enabled;
    found->updatedAt = m_currentDate();
    const QString message = quoted(
        found->enabled ? QStringLiteral("已启用指令") : QStringLiteral("已停用指令"), found->title);
    co_await persistInstructionLibrary(std::move(entries), message);
}

void TranscriberViewModel::deleteInstructionEntry(const InstructionLibraryEntry &entry) {
    if (entry.source != InstructionLibraryEntrySource::custom)
        return;
    spawn(
        this, [this, entry] { return deleteInstructionEntryNow(entry); },
        QStringLiteral("delete instruction"));
}

QCoro::Task<void> TranscriberViewModel::deleteInstructionEntryNow(InstructionLibraryEntry entry) {
    QPointer<TranscriberViewModel> self(this);
    const InstructionLibraryLease lease = co_await acquireInstructionLibrary();
    if (!self)
        co_return;
    QList<InstructionLibraryEntry> entries = m_instructionLibraryEntries;
    entries.removeIf([&](const InstructionLibraryEntry &kept) { return kept.id() == entry.id(); });
    // Saved and confirmed also when another edit removed it first: the
    // user's intent holds either way.
    co_await persistInstructionLibrary(std::move(entries),
                                       quoted(QStringLiteral("已删除指令"), entry.title));
}

} // namespace tovalit
