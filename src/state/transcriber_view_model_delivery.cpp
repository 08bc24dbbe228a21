// Handing the final text to the user: into the focused input, or onto the
// clipboard.

#include "platform/pasteboard.h"
#include "services/settings/app_configuration_store.h"
#include "services/settings/tovalit_debug_logger.h"
#include "services/shortcuts/hotkey_monitor.h"
#include "state/shared/floating_panel_coordinating.h"
#include "state/transcriber_view_model.h"
#include "support/gui_thread.h"
#include "support/textkit.h"

#include <QPointer>

namespace tovalit {

QCoro::Task<std::optional<InsertionResult>>
TranscriberViewModel::deliver(QString text, HUDPresentationMode hudPresentation) {
    if (text.isEmpty())
        co_return std::nullopt;
    if (!m_configurationStore.autoInsertIntoFocusedInput()) {
        // A blank text has nothing to copy and is not delivered at all.
        if (!m_configurationStore.autoCopyFinalText() || textkit::isBlank(text))
            co_return std::nullopt;
        co_return copyTranscriptSilently(text) ? InsertionResult::copiedToClipboard
                                               : InsertionResult::copyFailed;
    }

    setRecordingState(RecordingState::inserting());
    if (hudPresentation == HUDPresentationMode::standard)
        m_floatingPanelCoordinator->showThinking(QStringLiteral("准备插入"), QString());
    // The application may quit while the delivery waits, the longest for
    // the user's answer to the desktop lending its keyboard: nothing is
    // then left to deliver for, and the caller learns it from `self` too.
    const QPointer<TranscriberViewModel> self(this);
    // Synthetic keys must not mix with the user's own, still held.
    co_await m_hotkeyMonitor->waitUntilShortcutReleaseSettles();
    if (!self)
        co_return std::nullopt;
    const std::optional<ActiveInteractionContext> context =
        co_await captureInteractionContextIfNeeded();
    if (!self)
        co_return std::nullopt;
    co_await m_interactionContextActivator(context);
    if (!self)
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
                            co_await self->m_editLearning->handleObservedInsertionEditEvent(event);
                    },
                    QStringLiteral("observed edit"));
            });
        };

    std::optional<InsertionResult> result;
    try {
        result = co_await m_insertionRunner(text, context, std::move(onObservedEditEvent));
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
        setLastCopiedAt(m_systemDate());
    TovalitDebugLogger::log(QStringLiteral("deliver.result"),
                            QStringLiteral("result=") + message(*result));
    co_return result;
}

std::optional<QString> TranscriberViewModel::copyTranscriptSilently(const QString &text) {
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
    setLastCopiedAt(m_systemDate());
    return trimmed;
}

void TranscriberViewModel::copyTranscript(const QString &text) {
    if (copyTranscriptSilently(text))
        showAppToast(QStringLiteral("已复制到剪贴板"), false, 1.6);
}

} // namespace tovalit
