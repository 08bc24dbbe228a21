#pragma once

#include "models/active_interaction_context.h"
#include "models/formatted_text.h"
#include "models/insertion_result.h"
#include "models/observed_insertion_edit_event.h"
#include "models/vellup_structured_formatter_configuration.h"
#include "services/text_injection/clipboard_head_start.h"
#include "services/text_processing/natural_mode_stage.h"
#include "services/text_processing/structured_formatting_task.h"
#include "services/text_processing/transcript_cleanup_service.h"
#include "state/shared/gateway_session_recovery.h"
#include "support/async_mutex.h"
#include "support/clock.h"

#include <QObject>
#include <QString>
#include <qcoro/qcorotask.h>

#include <functional>
#include <memory>
#include <optional>

namespace tovalit {

class AppConfigurationStore;
class DictationDeliveryHost;
class FloatingPanelCoordinating;
class HotkeyMonitor;
class Pasteboard;

// The end of a dictation's road, shared by the stop and the retry of an
// archived recording: natural-mode formatting of the recognised text, the
// focused application's context that formatting and delivery share, and
// the delivery into the focused input or onto the clipboard.
//
// Lives on the GUI thread, owned by the controller.
class DictationDelivery : public QObject {
    Q_OBJECT

public:
    // Rewrites a text for a task; may be called from any thread.
    using StructuredFormattingRunner =
        std::function<QCoro::Task<QString>(QString text, StructuredFormattingTask task,
                                           VellupStructuredFormatterConfiguration configuration)>;
    // Writes a text into the focused input, taking over the clipboard's
    // head start when there is one; the observer may be called from any
    // thread.
    using InsertionRunner = std::function<QCoro::Task<InsertionResult>(
        QString text, std::optional<ActiveInteractionContext> context,
        ObservedInsertionEditCallback onObservedEditEvent,
        std::unique_ptr<ClipboardHeadStart> headStart)>;
    // Puts a text about to be inserted on the clipboard already, where that
    // makes its paste come sooner; nothing elsewhere.
    using ClipboardHeadStarter =
        std::function<QCoro::Task<std::unique_ptr<ClipboardHeadStart>>(QString text)>;
    using InteractionContextProvider =
        std::function<QCoro::Task<std::optional<ActiveInteractionContext>>()>;
    using InteractionContextActivator =
        std::function<QCoro::Task<void>(std::optional<ActiveInteractionContext> context)>;

    // Whether formatting and delivery show their progress panels.
    enum class HUDPresentationMode { standard, silent };

    struct Collaborators {
        StructuredFormattingRunner structuredFormattingRunner;
        InsertionRunner insertionRunner;
        // May be empty: no head start.
        ClipboardHeadStarter clipboardHeadStarter;
        InteractionContextProvider interactionContextProvider;
        InteractionContextActivator interactionContextActivator;
        std::shared_ptr<Pasteboard> pasteboard;
        // Deliveries wait for the user's shortcut keys to be released.
        std::shared_ptr<HotkeyMonitor> hotkeyMonitor;
        // The wall clock: copy times.
        Clock systemDate;
    };

    DictationDelivery(DictationDeliveryHost &host, AppConfigurationStore &configurationStore,
                      GatewaySessionRecovery &gatewayRecovery,
                      std::shared_ptr<FloatingPanelCoordinating> floatingPanelCoordinator,
                      Collaborators collaborators, QObject *parent = nullptr);
    ~DictationDelivery() override;

    // --- Formatting (dictation_formatting.cpp) ----------------------------------
    QCoro::Task<FormattedText> formatTranscript(QString transcript, NaturalModeStage stage,
                                                HUDPresentationMode hudPresentation);
    QString cleanedOrTrimmed(const QString &trimmed) const;
    // "host: …, model: …" of the formatter a failed call used, or of the
    // configured model when it failed before reaching one.
    QString describeFormatterTarget(
        const std::optional<VellupStructuredFormatterConfiguration> &used) const;
    // "<text preview> | profile=… | before=… | selected=… | after=…".
    static QString describeForLog(const QString &text,
                                  const std::optional<ActiveInteractionContext> &context);

    // --- The focused application's context of the session ------------------------
    // Kept from the recording's start, so that formatting and delivery see
    // the application the user dictated into.
    void setInteractionContext(std::optional<ActiveInteractionContext> context);
    void resetInteractionContext();
    // Held while the focused application is read. The read ends in screen
    // text recognition, seconds on a busy machine and one at a time: a stop
    // that finds the start's read still under way waits for it rather than
    // queueing a second one behind it. Shared, so that a read outliving
    // this object can still let go.
    std::shared_ptr<AsyncMutex> contextCapture() const { return m_contextCapture; }

    // --- Delivery (dictation_delivery.cpp) -----------------------------------------
    // `mayInsert`, when given, is asked once, just before the text goes to
    // the focused input: false ends the delivery there, with nothing typed
    // and no result.
    QCoro::Task<std::optional<InsertionResult>>
    deliver(QString text, HUDPresentationMode hudPresentation, std::function<bool()> mayInsert);
    // Copies the trimmed text with a confirmation toast; nothing for a
    // blank text.
    void copyTranscript(const QString &text);
    // Copies the trimmed text without a word; returns it, or nothing for a
    // blank text.
    std::optional<QString> copyTranscriptSilently(const QString &text);
    void presentDeliveryFailureFeedbackIfNeeded(InsertionResult result, const QString &text);

private:
    template <typename Value>
    using FormatterOperation = GatewaySessionRecovery::FormatterOperation<Value>;
    template <typename Value>
    using FormatterResult = GatewaySessionRecovery::FormatterResult<Value>;

    QCoro::Task<std::optional<ActiveInteractionContext>> captureInteractionContextIfNeeded();

    DictationDeliveryHost &m_host;
    AppConfigurationStore &m_configurationStore;
    GatewaySessionRecovery &m_gatewayRecovery;
    std::shared_ptr<FloatingPanelCoordinating> m_floatingPanelCoordinator;
    TranscriptCleanupService m_cleanupService;
    StructuredFormattingRunner m_structuredFormattingRunner;
    InsertionRunner m_insertionRunner;
    ClipboardHeadStarter m_clipboardHeadStarter;
    InteractionContextProvider m_interactionContextProvider;
    InteractionContextActivator m_interactionContextActivator;
    // Where the last delivery went: its failure notice names how to paste
    // there.
    std::optional<ActiveInteractionContext> m_deliveredInto;
    std::shared_ptr<Pasteboard> m_pasteboard;
    std::shared_ptr<HotkeyMonitor> m_hotkeyMonitor;
    Clock m_systemDate;
    std::optional<ActiveInteractionContext> m_activeInteractionContext;
    std::shared_ptr<AsyncMutex> m_contextCapture = std::make_shared<AsyncMutex>();
};

} // namespace tovalit
