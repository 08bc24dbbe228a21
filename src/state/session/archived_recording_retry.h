#pragma once

#include "models/transcript_record.h"
#include "state/session/dictation_delivery.h"
#include "state/shared/gateway_session_recovery.h"

#include <QObject>
#include <qcoro/qcorotask.h>

#include <exception>
#include <memory>

namespace tovalit {

class ArchivedRecordingRetryHost;
class DictationCompletion;
class DictationSession;
class DictationSessionHost;
class FloatingPanelCoordinating;
class RecordingHold;

// The second road of a dictation: a record's archived recording recognised
// again, routed to an instruction or rewritten, delivered and filed as a
// new record, while the retried record stays as it was.
//
// Lives on the GUI thread, owned by the controller beside the session whose
// identity, completion and delivery it shares; what it needs of the other
// concerns comes through the session's host and its own.
class ArchivedRecordingRetry : public QObject {
    Q_OBJECT

public:
    ArchivedRecordingRetry(DictationSessionHost &host, ArchivedRecordingRetryHost &history,
                           DictationSession &session, DictationCompletion &completion,
                           DictationDelivery &delivery, GatewaySessionRecovery &gatewayRecovery,
                           std::shared_ptr<FloatingPanelCoordinating> floatingPanelCoordinator,
                           QObject *parent = nullptr);
    ~ArchivedRecordingRetry() override;

    // The retry in a task of its own. Returns at once.
    void retryRecord(const TranscriptRecord &record);
    // Recognises the record's recording again and files the outcome as a
    // new record; the retried one stays as it was.
    QCoro::Task<void> retryArchivedRecording(TranscriptRecord record);

private:
    template <typename Value>
    using SpeechOperation = GatewaySessionRecovery::SpeechOperation<Value>;
    template <typename Value>
    using SpeechResult = GatewaySessionRecovery::SpeechResult<Value>;
    using HUDPresentationMode = DictationDelivery::HUDPresentationMode;

    // The retry once it has passed its gate.
    QCoro::Task<void> runRetry(TranscriptRecord record);
    // How the road from the recording to its filed record ended: the
    // failure of its recognition or of its filing, which failRetry() files
    // instead; none when it got through or stopped short on its own.
    struct Outcome {
        std::exception_ptr failure;
    };
    QCoro::Task<Outcome> recognizeAndFile(TranscriptRecord record,
                                          std::shared_ptr<RecordingHold> fileHold);
    QCoro::Task<void> failRetry(TranscriptRecord record, std::exception_ptr error,
                                std::shared_ptr<RecordingHold> fileHold);

    DictationSessionHost &m_host;
    ArchivedRecordingRetryHost &m_history;
    DictationSession &m_session;
    DictationCompletion &m_completion;
    DictationDelivery &m_delivery;
    GatewaySessionRecovery &m_gatewayRecovery;
    std::shared_ptr<FloatingPanelCoordinating> m_floatingPanelCoordinator;
};

} // namespace tovalit
