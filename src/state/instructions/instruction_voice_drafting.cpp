// Instructions created by voice: a dictation that asks for a new
// instruction is drafted into one, announced with an undo button, and joins
// the library only when the undo window passes untouched.

#include "services/instructions/instruction_library_ai_service.h"
#include "state/instructions/instruction_library_keeper.h"
#include "state/instructions/instruction_library_keeper_host.h"
#include "state/shared/floating_panel_coordinating.h"
#include "state/shared/gateway_session_recovery.h"
#include "support/app_error.h"
#include "support/regex.h"
#include "support/textkit.h"

#include <QPointer>

namespace tovalit {

namespace {

constexpr qint64 fallbackDraftMaxTokens = 900;
constexpr qsizetype fallbackTitleLength = 6;
constexpr qsizetype fallbackSummaryLength = 28;

QString fallbackTitle(const QString &description) {
    static const textkit::Regex separators(QStringLiteral("[\\s，,。；;：:、]+"));
    const QString compact = separators.replaceAllLiteral(description, QString());
    if (compact.isEmpty())
        return QStringLiteral("我的指令");
    return textkit::graphemePrefix(compact, fallbackTitleLength);
}

QString fallbackSummary(const QString &description) {
    if (description.isEmpty())
        return QStringLiteral("语音创建的自定义指令");
    if (textkit::graphemeCount(description) <= fallbackSummaryLength)
        return description;
    return textkit::graphemePrefix(description, fallbackSummaryLength) + QStringLiteral("…");
}

QString fallbackPromptTemplate(const QString &description) {
    return QStringList{
        QStringLiteral("你是 Tovalit 的自定义指令助手。"),
        QString(),
        QStringLiteral("未来你会收到一段新的用户输入，请按照下面这个需求处理它："),
        description.isEmpty() ? QStringLiteral("请根据用户输入完成对应任务。") : description,
        QString(),
        QStringLiteral("要求："),
        QStringLiteral("1. 只输出最终结果，不要解释，不要代码块。"),
        QStringLiteral("2. 保留用户输入中的关键信息，不要编造。"),
        QStringLiteral("3. 如果信息不足，就基于现有内容给出最稳妥的结果。"),
    }
        .join(u'\n');
}

} // namespace

// --- Drafting --------------------------------------------------------------------------

InstructionLibraryEntry InstructionLibraryKeeper::fallbackDraft(const QString &description,
                                                                const QDateTime &now) {
    const QString text = textkit::trimmed(description);
    return InstructionLibraryEntry::makeCustom(
        std::nullopt, fallbackTitle(text), fallbackSummary(text), fallbackPromptTemplate(text),
        fallbackCategory(text), true, fallbackDraftMaxTokens, now, now);
}

InstructionLibraryCategory InstructionLibraryKeeper::fallbackCategory(const QString &text) {
    struct Rule {
        QStringList needles;
        InstructionLibraryCategory category;
    };
    // The first rule with a match wins.
    static const QList<Rule> rules{
        {{QStringLiteral("提示词"), QStringLiteral("prompt")}, InstructionLibraryCategory::prompt},
        {{QStringLiteral("润色"), QStringLiteral("改写"), QStringLiteral("翻译")},
         InstructionLibraryCategory::rewrite},
        {{QStringLiteral("清单"), QStringLiteral("待办"), QStringLiteral("总结")},
         InstructionLibraryCategory::planning},
    };
    const QString key = InstructionLibraryEntry::normalizedValue(text);
    for (const Rule &rule : rules) {
        for (const QString &needle : rule.needles) {
            if (key.contains(needle))
                return rule.category;
        }
    }
    return InstructionLibraryCategory::writing;
}

QCoro::Task<std::optional<InstructionLibraryEntry>>
InstructionLibraryKeeper::buildInstructionDraft(QString description) {
    const QString trimmed = textkit::trimmed(description);
    if (trimmed.isEmpty())
        co_return fallbackDraft(description, m_currentDate());

    const QPointer<InstructionLibraryKeeper> self(this);
    // One attempt: a draft is made without a gateway session recovery.
    std::optional<VellupStructuredFormatterConfiguration> configuration;
    std::exception_ptr failure;
    try {
        configuration = co_await m_gatewayRecovery.resolveFormatterConfiguration();
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self)
        co_return std::nullopt;
    if (failure) {
        m_host.showAppToast(QStringLiteral("网关会话不可用，已回退基础模板"), true, 2.2);
        co_return fallbackDraft(trimmed, m_currentDate());
    }
    if (!configuration)
        co_return fallbackDraft(trimmed, m_currentDate());

    std::optional<InstructionLibraryEntry> drafted;
    try {
        drafted = co_await InstructionLibraryAIService(*configuration, nullptr, m_currentDate)
                      .draftCustomEntry(trimmed);
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self)
        co_return std::nullopt;
    if (failure || !drafted) {
        m_host.showAppToast(QStringLiteral("指令草稿解析失败，已回退基础模板"), true, 2.2);
        co_return fallbackDraft(trimmed, m_currentDate());
    }
    co_return *drafted;
}

QCoro::Task<InstructionRoutingResult>
InstructionLibraryKeeper::createInstructionFromVoice(QString description) {
    const QString trimmed = textkit::trimmed(description);
    if (trimmed.isEmpty())
        co_return InstructionRoutingResult::notRouted();
    m_floatingPanelCoordinator->showThinking(QStringLiteral("创建指令中"), QString());
    const std::optional<InstructionLibraryEntry> draft = co_await buildInstructionDraft(trimmed);
    // The application quit while the draft was made: the dictation that
    // asked for it is gone too.
    if (!draft)
        co_return InstructionRoutingResult::notRouted();
    schedulePendingCreation(*draft);
    // Recorded in the history, never typed into the focused input.
    co_return InstructionRoutingResult::creationScheduled(
        QStringLiteral("已创建指令：") + draft->title,
        QStringLiteral("已识别为创建指令，5 秒后会加入指令库，可点击撤销"));
}

// --- The undo window -------------------------------------------------------------------

void InstructionLibraryKeeper::schedulePendingCreation(const InstructionLibraryEntry &entry) {
    // An earlier creation still waiting is dropped without a word.
    m_pendingCreateTask.cancel();
    const QUuid token = QUuid::createUuid();
    m_pendingCreateToken = token;

    QPointer<InstructionLibraryKeeper> self(this);
    m_floatingPanelCoordinator->showToast(
        QStringLiteral("已创建指令“") + entry.title + QStringLiteral("”，5 秒后会加入指令库。"),
        QStringLiteral("撤销"), creationUndoWindow, [self, token] {
            if (!self)
                return;
            QMetaObject::invokeMethod(
                self.data(),
                [self, token] {
                    // Only while this creation still waits: once it has
                    // joined the library, "undone" would be untrue.
                    if (self && self->m_pendingCreateToken == token)
                        self->cancelPendingCreation(true);
                },
                Qt::QueuedConnection);
        });

    m_pendingCreateTask = spawnCancellable(
        this,
        [this, entry, token](CancelToken cancel) {
            return waitOutUndoWindow(entry, token, cancel);
        },
        QStringLiteral("instruction undo window"));
}

QCoro::Task<void> InstructionLibraryKeeper::waitOutUndoWindow(InstructionLibraryEntry entry,
                                                              QUuid token, CancelToken cancel) {
    QPointer<InstructionLibraryKeeper> self(this);
    const Sleeper sleeper = m_sleepForDuration;
    co_await sleeper(creationUndoWindow, cancel);
    if (cancel.isCancelled() || !self)
        co_return;
    co_await commitPendingCreation(std::move(entry), token);
}

void InstructionLibraryKeeper::cancelPendingCreation(bool showFeedback) {
    m_pendingCreateTask.cancel();
    m_pendingCreateTask = TaskHandle();
    // A commit that is already past its wait now finds its token stale.
    m_pendingCreateToken = QUuid::createUuid();
    if (showFeedback) {
        m_floatingPanelCoordinator->showToast(QStringLiteral("已撤销，本次不会加入指令库。"),
                                              std::nullopt, 1.6, {});
    }
}

QCoro::Task<void> InstructionLibraryKeeper::commitPendingCreation(InstructionLibraryEntry entry,
                                                                  QUuid token) {
    if (token != m_pendingCreateToken)
        co_return;
    m_pendingCreateTask = TaskHandle();
    m_pendingCreateToken = QUuid::createUuid();

    QPointer<InstructionLibraryKeeper> self(this);
    const LibraryLease lease = co_await acquireLibrary();
    if (!self)
        co_return;
    const QDateTime now = m_currentDate();
    QList<InstructionLibraryEntry> entries = m_host.instructionLibraryEntries();
    const QString key = entry.normalizedLookupKey();
    const auto existing =
        std::find_if(entries.begin(), entries.end(), [&](const InstructionLibraryEntry &stored) {
            return stored.normalizedLookupKey() == key;
        });
    if (existing != entries.end()) {
        // Saying an instruction's name again refreshes it; it keeps its
        // identity and never loses token room.
        *existing = InstructionLibraryEntry::makeCustom(
            existing->id(), entry.title, entry.summary, entry.promptTemplate, entry.category,
            entry.enabled, std::max(existing->maxTokens, entry.maxTokens), existing->createdAt,
            now);
    } else {
        entries.append(entry);
    }
    const std::optional<QString> saveFailure =
        co_await persistLibrary(std::move(entries), std::nullopt);
    if (!self)
        co_return;
    // A save that failed lost the entry: saying it was created would send
    // the user looking for it.
    m_host.setLastResultMessage(saveFailure ? QStringLiteral("创建指令失败：") + *saveFailure
                                            : QStringLiteral("已创建指令：") + entry.title);
}

} // namespace tovalit
