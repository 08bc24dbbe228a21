// Handing the final text to the user: into the focused input, or onto the
// clipboard.

#include "state/session/dictation_delivery.h"

#include "platform/pasteboard.h"
#include "services/settings/app_configuration_store.h"
#include "services/settings/tovalit_debug_logger.h"
#include "services/shortcuts/hotkey_monitor.h"
#include "services/text_injection/terminal_paste.h"
#include "state/session/dictation_delivery_host.h"
#include "state/shared/floating_panel_coordinating.h"
#include "support/gui_thread.h"
#include "support/spawn.h"
#include "support/textkit.h"

#include <QPointer>

namespace tovalit {

namespace {

QCoro::Task<std::unique_ptr<ClipboardHeadStart>> noHeadStart() {
    co_return std::unique_ptr<ClipboardHeadStart>();
}

// A terminal takes Ctrl+V as a key for the program running in it: the
// notice names the keys that terminal pastes with.
QString pasteItYourselfNotice(const std::optional<ActiveInteractionContext> &into) {
    std::optional<Terminal> terminal;
    if (into) {
        const std::optional<QString> role = into->naturalFormattingContext.focusedElementRole;
        const bool screen =
            role && (role->compare(QStringLiteral("terminal"), Qt::CaseInsensitive) == 0 ||
                     *role == QStringLiteral("终端"));
        terminal = TerminalPaste::recognise(screen ? std::optional(QStringLiteral("terminal"))
                                                   : std::nullopt,
                                            {into->bundleID, into->appName});
    }
    if (!terminal)
        return QStringLiteral(
            "插入失败，文本已复制到剪贴板，请手动粘贴（Ctrl+V；终端中为 Ctrl+Shift+V）");
    if (!terminal->keys)
        return QStringLiteral("插入失败，文本已复制到剪贴板，请用该终端自己的粘贴键手动粘贴");
    return QStringLiteral("插入失败，文本已复制到剪贴板，请在 %1 中按 %2 手动粘贴")
        .arg(terminal->name, pasteKeysText(*terminal->keys));
}

} // namespace

DictationDelivery::DictationDelivery(
    DictationDeliveryHost &host, AppConfigurationStore &configurationStore,
    GatewaySessionRecovery &gatewayRecovery,
    std::shared_ptr<FloatingPanelCoordinating> floatingPanelCoordinator,
    Collaborators collaborators, QObject *parent)
    : QObject(parent)
    , m_host(host)
    , m_configurationStore(configurationStore)
    , m_gatewayRecovery(gatewayRecovery)
    , m_floatingPanelCoordinator(std::move(floatingPanelCoordinator))
    , m_structuredFormattingRunner(std::move(collaborators.structuredFormattingRunner))
    , m_insertionRunner(std::move(collaborators.insertionRunner))
    , m_clipboardHeadStarter(std::move(collaborators.clipboardHeadStarter))
    , m_interactionContextProvider(std::move(collaborators.interactionContextProvider))
    , m_interactionContextActivator(std::move(collaborators.interactionContextActivator))
    , m_pasteboard(std::move(collaborators.pasteboard))
    , m_hotkeyMonitor(std::move(collaborators.hotkeyMonitor))
    , m_systemDate(std::move(collaborators.systemDate)) {}

DictationDelivery::~DictationDelivery() = default;

QCoro::Task<std::optional<InsertionResult>>
DictationDelivery::deliver(QString text, HUDPresentationMode hudPresentation,
                           std::function<bool()> mayInsert) {
    if (text.isEmpty())
        co_return std::nullopt;
    if (!m_configurationStore.autoInsertIntoFocusedInput()) {
        // A blank text has nothing to copy and is not delivered at all.
        if (!m_configurationStore.autoCopyFinalText() || textkit::isBlank(text))
            co_return std::nullopt;
        co_return copyTranscriptSilently(text) ? InsertionResult::copiedToClipboard
                                               : InsertionResult::copyFailed;
    }

    m_host.setRecordingState(RecordingState::inserting());
    if (hudPresentation == HUDPresentationMode::standard)
        m_floatingPanelCoordinator->showThinking(QStringLiteral("准备插入"), QString());
    // The application may quit while the delivery waits, the longest for
    // the user's answer to the desktop lending its keyboard: nothing is
    // then left to deliver for, and the caller learns it from `self` too.
    const QPointer<DictationDelivery> self(this);
    // Begun before the waits below, which the desktop's pickup of the
    // clipboard may then overlap.
    QCoro::Task<std::unique_ptr<ClipboardHeadStart>> headStarting =
        m_clipboardHeadStarter ? m_clipboardHeadStarter(text) : noHeadStart();
    // Synthetic keys must not mix with the user's own, still held.
    co_await m_hotkeyMonitor->waitUntilShortcutReleaseSettles();
    // Whatever ends the delivery from here on, the head start goes with it
    // and gives the user's clipboard back, unless the insertion took it.
    std::unique_ptr<ClipboardHeadStart> headStart = co_await std::move(headStarting);
    if (!self)
        co_return std::nullopt;
    const std::optional<ActiveInteractionContext> context =
        co_await captureInteractionContextIfNeeded();
    if (!self)
        co_return std::nullopt;
    m_deliveredInto = context;
    co_await m_interactionContextActivator(context);
    if (!self)
        co_return std::nullopt;
    // The last moment the text can still be held back; the head start goes
    // with the delivery and gives the user's clipboard back.
    if (mayInsert && !mayInsert())
        co_return std::nullopt;
    TovalitDebugLogger::log(QStringLiteral("deliver"), [text, context]() -> QString {
        return QStringLiteral("text=") + describeForLog(text, context);
    });

    // The insertion service keeps watching the text after it returns, from
    // its own threads; each report is handled on the GUI thread.
    ObservedInsertionEditCallback onObservedEditEvent =
        [self](const ObservedInsertionEditEvent &event) {
            postToGuiThread([self, event] {
                if (!self)
                    return;
                spawn(
                    self,
                    [self, event]() -> QCoro::Task<void> {
                        if (self)
                            co_await self->m_host.handleObservedInsertionEdit(event);
                    },
                    QStringLiteral("observed edit"));
            });
        };

    std::optional<InsertionResult> result;
    try {
        result = co_await m_insertionRunner(text, context, std::move(onObservedEditEvent),
                                            std::move(headStart));
    } catch (...) {
        // Whatever went wrong, the text must not be lost.
    }
    if (!self)
        co_return std::nullopt;
    if (!result) {
        const InsertionResult fallback = copyTranscriptSilently(text)
                                             ? InsertionResult::insertFailedCopiedToClipboard
                                             : InsertionResult::insertFailedCopyFailed;
        TovalitDebugLogger::log(QStringLiteral("deliver.result"),
                                QStringLiteral("result=") + rawValue(fallback) +
                                    QStringLiteral(" | reason=throw"));
        co_return fallback;
    }
    if (*result != InsertionResult::insertedDirectly)
        m_host.setLastCopiedAt(m_systemDate());
    TovalitDebugLogger::log(QStringLiteral("deliver.result"),
                            QStringLiteral("result=") + message(*result));
    co_return result;
}

std::optional<QString> DictationDelivery::copyTranscriptSilently(const QString &text) {
    const QString trimmed = textkit::trimmed(text);
    if (trimmed.isEmpty())
        return std::nullopt;
    m_pasteboard->clearContents();
    PasteboardItem item;
    item.setString(trimmed);
    if (!m_pasteboard->writeObjects({item})) {
        // Claiming a copy that is not there would send the user to paste
        // nothing.
        TovalitDebugLogger::log(QStringLiteral("clipboard"),
                                QStringLiteral("write refused | chars=") +
                                    QString::number(textkit::graphemeCount(trimmed)));
        return std::nullopt;
    }
    m_host.setLastCopiedAt(m_systemDate());
    return trimmed;
}

void DictationDelivery::copyTranscript(const QString &text) {
    if (copyTranscriptSilently(text))
        m_host.showAppToast(QStringLiteral("已复制到剪贴板"), false, 1.6);
}

void DictationDelivery::presentDeliveryFailureFeedbackIfNeeded(InsertionResult result,
                                                               const QString &text) {
    if (!insertionFailed(result))
        return;
    // The button copies again, which is also the way to try once more when
    // the clipboard refused the first copy.
    const QString message = result == InsertionResult::insertFailedCopiedToClipboard
                                ? pasteItYourselfNotice(m_deliveredInto)
                                : tovalit::message(result);
    QPointer<DictationDelivery> self(this);
    m_floatingPanelCoordinator->showToast(message, QStringLiteral("复制"), 5.0, [self, text] {
        if (self)
            self->copyTranscriptSilently(text);
    });
}

} // namespace tovalit
