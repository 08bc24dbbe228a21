#pragma once

#include "models/formatted_text.h"
#include "models/instruction_routing_result.h"
#include "models/meeting_hud_content.h"
#include "models/personal_lexicon_entry.h"
#include "models/recording_state.h"
#include "models/transcript_record.h"
#include "models/vellup_speech_lexicon_configuration.h"
#include "services/capture/audio_capture_service.h"

#include <QDateTime>
#include <QList>
#include <QMetaObject>
#include <QObject>
#include <QString>
#include <QUuid>
#include <qcoro/qcorotask.h>

#include <functional>
#include <memory>
#include <optional>

namespace tovalit {

class RecordingHold;

// What the dictation session needs of the controller that owns it and of
// the concerns beside it: the published values it changes, the meeting a
// recording may become, the lexicon, the instructions and the history.
class DictationSessionHost {
public:
    virtual ~DictationSessionHost() = default;

    // --- Published values -------------------------------------------------------
    // The session moves the recording state through its steps; others (the
    // retry, the history's failures) change it too, so it is the
    // controller's.
    virtual RecordingState recordingState() const = 0;
    virtual void setRecordingState(RecordingState value) = 0;
    // A quit waits for a stop in progress to leave the processing states.
    virtual QMetaObject::Connection
    onRecordingStateChanged(QObject *context,
                            std::function<void(const RecordingState &)> handler) = 0;
    // Read back where a recognizer that failed leaves only what was shown.
    virtual QString liveTranscript() const = 0;
    virtual void setLiveTranscript(QString value) = 0;
    virtual QString finalTranscript() const = 0;
    virtual void setFinalTranscript(QString value) = 0;
    // The recording panel draws the last levels.
    virtual QList<double> waveformLevels() const = 0;
    virtual void setWaveformLevels(QList<double> value) = 0;
    virtual void setLastResultMessage(std::optional<QString> value) = 0;

    // --- The meeting a long recording becomes ---------------------------------
    // Every start, cancel, stop and quit ends the meeting of the recording
    // before.
    virtual void resetMeetingSession() = 0;
    virtual void stopMeetingTasks() = 0;
    // A meeting keeps its live text after a break, is summarised instead of
    // formatted, and is never routed to an instruction.
    virtual bool hasEnteredMeetingMode() const = 0;
    virtual std::optional<int> meetingModeCountdownRemainingSeconds() const = 0;
    // The recording panel shows the meeting and its countdown toast.
    virtual MeetingHUDContent meetingPanelContent() const = 0;
    virtual std::optional<QString> meetingCountdownToast() const = 0;
    // The panel's buttons during the countdown.
    virtual void dismissMeetingAutoEntry() = 0;
    virtual QCoro::Task<void> enterMeetingNow() = 0;
    // A recording that has started may become a meeting.
    virtual void scheduleMeetingThreshold() = 0;
    // Every merged partial text feeds the meeting's summary.
    virtual void followMeetingTranscript(const QString &transcript) = 0;
    // Breaks and recoveries of the live stream go to the meeting's log.
    virtual void logMeetingStream(const QString &event, const QString &detail) = 0;
    // The minutes of a meeting's stop.
    virtual QCoro::Task<FormattedText> summarizeMeeting(QString rawTranscript,
                                                        QString normalizedTranscript) = 0;

    // --- The personal lexicon ----------------------------------------------------
    // The local replacements of a recognised text.
    virtual QList<PersonalLexiconEntry> personalLexiconEntries() const = 0;
    // What the recognisers are told to expect.
    virtual std::optional<VellupSpeechLexiconConfiguration> compiledSpeechLexicon() const = 0;
    // Learns from a saved record in a task of its own, after the dictation
    // has ended; its messages speak only while `followUpOf` is current.
    virtual void startHistoryLearning(TranscriptRecord record, QUuid followUpOf) = 0;

    // --- The instruction library -----------------------------------------------------
    // A transcript that begins with a spoken instruction is the
    // instruction's to answer.
    virtual QCoro::Task<InstructionRoutingResult> routeInstruction(QString transcript) = 0;

    // --- The history ------------------------------------------------------------------
    // Appends and publishes the records; throws when the store refused. The
    // hold keeps the recording out of a clearing until the record is saved.
    virtual QCoro::Task<void> appendToHistory(TranscriptRecord record,
                                              std::shared_ptr<RecordingHold> fileHold) = 0;
    // Keeps the words heard so far of a recording without a record yet, so
    // that a process ending before the record is written leaves them for
    // the next start to file with the recording.
    virtual void keepWordsHeard(const QString &audioFileName, const QDateTime &startedAt,
                                bool meeting, const QString &words) = 0;
    // The record as the history keeps it (with its transcript file).
    virtual TranscriptRecord storedRecord(const TranscriptRecord &record) const = 0;
    // The output with its recording removed when recordings are not kept.
    virtual std::optional<RecordingSessionOutput>
    retainedRecordingOutput(std::optional<RecordingSessionOutput> output) const = 0;
    // The failed record of a dictation that could not be finished.
    virtual TranscriptRecord
    failedDictationRecord(const std::optional<RecordingSessionOutput> &output,
                          const QString &transcript, const QString &rawTranscript,
                          const QString &message) const = 0;
};

} // namespace tovalit
