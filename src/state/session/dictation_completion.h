#pragma once

#include "models/insertion_result.h"
#include "models/instruction_routing_result.h"
#include "models/transcript_record.h"
#include "models/vellup_speech_configuration.h"
#include "models/vellup_speech_lexicon_configuration.h"
#include "services/text_processing/natural_mode_stage.h"
#include "state/session/dictation_delivery.h"
#include "state/shared/gateway_session_recovery.h"
#include "support/clock.h"

#include <QString>
#include <qcoro/qcorotask.h>

#include <functional>
#include <memory>
#include <optional>

namespace tovalit {

class DictationSessionHost;
class FloatingPanelCoordinating;

// The road a recognised dictation takes once its recording has ended,
// shared by the stop and the retry of an archived recording: the recording
// recognised again where the live text falls short, the lexicon's local
// replacements, the stage of natural formatting, the record and the
// completion panel.
//
// Lives on the GUI thread, owned by the controller beside the delivery.
class DictationCompletion {
public:
    // Recognises a whole recorded file.
    using AudioFileTranscriptionRunner = std::function<QCoro::Task<QString>(
        QString audioFile, VellupSpeechConfiguration configuration,
        std::optional<VellupSpeechLexiconConfiguration> lexicon)>;
    using HUDPresentationMode = DictationDelivery::HUDPresentationMode;

    struct SupplementOutcome {
        QString transcript;
        std::optional<QString> warning;
        std::optional<QString> note;
    };

    DictationCompletion(DictationSessionHost &host, GatewaySessionRecovery &gatewayRecovery,
                        std::shared_ptr<FloatingPanelCoordinating> floatingPanelCoordinator,
                        DictationDelivery &delivery,
                        AudioFileTranscriptionRunner audioFileTranscriptionRunner,
                        Clock systemDate);

    QCoro::Task<QString>
    transcribeAudioFile(QString audioFile, VellupSpeechConfiguration configuration,
                        std::optional<VellupSpeechLexiconConfiguration> lexicon);
    // `liveTextIsIncomplete`: the live text misses part of the recording.
    QCoro::Task<SupplementOutcome>
    supplementWithArchivedVellupASRIfNeeded(QString transcript, std::optional<QString> audioURL,
                                            std::optional<QString> recognitionWarning,
                                            bool liveTextIsIncomplete,
                                            HUDPresentationMode hudPresentation);
    QString replacedTranscript(const QString &heard) const;
    // The natural-mode stage for a recording of `duration` seconds.
    static NaturalModeStage stageFor(double duration, const QString &text);
    TranscriptRecord newRecord(double duration, const QString &transcript,
                               const QString &rawTranscript, std::optional<QString> audioFileName,
                               TranscriptRecordStatus status, const QString &note) const;
    void finishWithCompletionPanel(std::optional<InsertionResult> result, const QString &text,
                                   const InstructionRoutingResult &routing,
                                   TranscriptRecordStatus status, const QString &note);

private:
    template <typename Value>
    using SpeechOperation = GatewaySessionRecovery::SpeechOperation<Value>;
    template <typename Value>
    using SpeechResult = GatewaySessionRecovery::SpeechResult<Value>;

    DictationSessionHost &m_host;
    GatewaySessionRecovery &m_gatewayRecovery;
    std::shared_ptr<FloatingPanelCoordinating> m_floatingPanelCoordinator;
    DictationDelivery &m_delivery;
    AudioFileTranscriptionRunner m_audioFileTranscriptionRunner;
    // The wall clock: record times.
    Clock m_systemDate;
};

} // namespace tovalit
