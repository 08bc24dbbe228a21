// The meeting summary: a loop on a fixed grid that, at every interval, asks
// the language model to fold the transcript that arrived since the last
// settled stage into the tree.

#include "services/meeting/meeting_stage_builder.h"
#include "services/settings/app_configuration_store.h"
#include "state/transcriber_view_model.h"
#include "support/textkit.h"

#include <QPointer>

#include <algorithm>
#include <cmath>

namespace tovalit {

namespace {

const QString noUpdateAnswer = QStringLiteral("[不新增]");
// Earlier stages a request shows, nearest first counted.
constexpr qsizetype previousStageLimit = 5;

} // namespace

// --- The loop -------------------------------------------------------------------------

void TranscriberViewModel::startMeetingMinuteUpdateLoop() {
    m_meetingMinuteUpdateTask.cancel();
    const QUuid sessionID = m_session->activeSessionID();
    const double interval = m_meetingModeTimings.updateInterval;
    QPointer<TranscriberViewModel> self(this);
    m_meetingMinuteUpdateTask = spawnCancellable(
        this,
        [self, sessionID, interval](CancelToken token) -> QCoro::Task<void> {
            if (self)
                co_await self->runMeetingMinuteUpdateLoop(sessionID, interval, token);
        },
        QStringLiteral("meeting minute loop"));
}

QCoro::Task<void> TranscriberViewModel::runMeetingMinuteUpdateLoop(QUuid sessionID, double interval,
                                                                   CancelToken token) {
    QPointer<TranscriberViewModel> self(this);
    // Wake-ups fall on the grid start + k × interval, each computed from
    // the start so no rounding accumulates: a long tick shortens the next
    // wait, one that overran a whole interval is followed at once.
    const QDateTime start = m_currentDate();
    // A grid of at least a millisecond, so a loop with nothing to say
    // still yields between its wake-ups.
    const double intervalMilliseconds = std::max(interval * 1000.0, 1.0);
    for (qint64 wakeUp = 1;; ++wakeUp) {
        if (token.isCancelled())
            co_return;
        const QDateTime deadline =
            start.addMSecs(qint64(std::llround(intervalMilliseconds * double(wakeUp))));
        const double wait = double(m_currentDate().msecsTo(deadline)) / 1000.0;
        if (wait > 0)
            co_await m_sleepForDuration(wait, token);
        if (token.isCancelled() || !self || !shouldContinueMeetingModeFlow(sessionID) ||
            !m_hasEnteredMeetingMode) {
            co_return;
        }
        co_await appendMeetingMinuteBlockIfNeeded(false);
        if (!self)
            co_return;
    }
}

// --- One tick -----------------------------------------------------------------------------

QCoro::Task<void> TranscriberViewModel::appendMeetingMinuteBlockIfNeeded(bool force) {
    if (!m_recordingState.is(RecordingState::Case::recording) || !m_hasEnteredMeetingMode)
        co_return;
    const QString pending = textkit::trimmed(m_pendingMeetingIncrementalText);
    if (pending.isEmpty())
        co_return;
    // The model already declined exactly this text.
    if (!force && pending == m_lastMeetingEvaluatedIncrementalText)
        co_return;

    const int start = m_pendingMeetingIncrementalStartSecond;
    const int now = currentMeetingElapsedSeconds();
    const bool mustDecide =
        force || now - start >= meetingIncrementalMustDecideDurationSeconds ||
        textkit::graphemeCount(pending) >= meetingIncrementalMustDecideCharacterLimit;
    StructuredFormattingTask::MeetingIncremental tick;
    tick.tickIndex = int(m_meetingBlocks.size()) + 1;
    tick.rangeLabel = MeetingMinuteBlock::timeRangeLabel(start, now);
    tick.previousStages = meetingIncrementalPreviousStageOutlines();
    tick.currentStageTitle = meetingIncrementalCurrentStageTitle();
    tick.currentStageOutline = meetingIncrementalCurrentStageOutline();
    tick.currentStageModules = meetingIncrementalCurrentStageModuleNames();
    tick.currentStageTextModuleCount = meetingIncrementalCurrentStageTextModuleCount();
    tick.recentContext = meetingIncrementalRecentContext();
    tick.pendingSeconds = std::max(now - start, 0);
    tick.mustDecide = mustDecide;
    tick.mustLandStage = mustDecide && m_meetingBlocks.isEmpty();
    // What the pending text held when the request went out; see below.
    const QString sentPendingText = m_pendingMeetingIncrementalText;
    const QUuid sessionID = m_session->activeSessionID();

    QPointer<TranscriberViewModel> self(this);
    const MeetingIncrementalFormatResult formatted =
        co_await formatMeetingIncrementalBlock(pending, tick);
    // Only a meeting still recording takes the answer. Once stopped, its
    // minutes are made from the tree as the stop found it, and the panel
    // is the stop's; a cancelled recording, or the next one, is not this
    // meeting at all.
    if (!self)
        co_return;
    if (!m_session->isCurrentSession(sessionID) ||
        !m_recordingState.is(RecordingState::Case::recording) || !m_hasEnteredMeetingMode) {
        // The model was asked all the same: the log keeps its answer.
        logMeetingIncrementalDecision(tick, pending, formatted.responseText,
                                      QStringLiteral("ignored_after_stop"), sessionID);
        co_return;
    }

    std::optional<MeetingMinuteBlock> block;
    if (formatted.outcome == MeetingIncrementalFormatResult::Outcome::produced) {
        block = MeetingStageBuilder::buildMeetingBlock(
            formatted.responseText, int(m_meetingBlocks.size()) + 1, start, now,
            tick.currentStageTitle, tick.currentStageTextModuleCount, pending, m_currentDate());
        if (block) {
            block = MeetingStageBuilder::normalizedMeetingContinuationBlock(
                *block, tick.currentStageTitle, tick.currentStageTextModuleCount, pending,
                mustDecide);
        }
    }

    QString result;
    switch (formatted.outcome) {
    case MeetingIncrementalFormatResult::Outcome::produced:
        result = block ? MeetingStageBuilder::meetingMergeActionDescription(m_meetingBlocks, *block)
                       : QStringLiteral("invalid_structure");
        break;
    case MeetingIncrementalFormatResult::Outcome::noUpdate:
        result = tick.mustLandStage ? QStringLiteral("ignored_no_update_while_must_land")
                                    : QStringLiteral("ignored");
        break;
    case MeetingIncrementalFormatResult::Outcome::failed:
        result = QStringLiteral("formatter_failed");
        break;
    }
    logMeetingIncrementalDecision(tick, pending, formatted.responseText, result, sessionID);

    if (block) {
        // The stage settles the text that was sent. Transcript that arrived
        // while the request was out was not part of it and stays pending,
        // starting at this tick's second.
        const QString current = m_pendingMeetingIncrementalText;
        m_pendingMeetingIncrementalText =
            current.startsWith(sentPendingText)
                ? textkit::trimmed(QStringView(current).sliced(sentPendingText.size()))
                : QString();
        m_pendingMeetingIncrementalStartSecond = now;
        m_lastMeetingEvaluatedIncrementalText.clear();
        QList<MeetingMinuteBlock> blocks = m_meetingBlocks;
        MeetingStageBuilder::mergeMeetingBlock(blocks, *block);
        setMeetingBlocks(std::move(blocks));
        m_session->presentRecordingHUD();
    } else if (formatted.outcome == MeetingIncrementalFormatResult::Outcome::noUpdate &&
               !tick.mustLandStage) {
        // Unforced ticks skip this text until new transcript extends it.
        m_lastMeetingEvaluatedIncrementalText = pending;
    }
    // A failure or an unusable answer leaves everything for the next tick.
}

QCoro::Task<TranscriberViewModel::MeetingIncrementalFormatResult>
TranscriberViewModel::formatMeetingIncrementalBlock(
    QString text, StructuredFormattingTask::MeetingIncremental tick) {
    using Outcome = MeetingIncrementalFormatResult::Outcome;
    const QString transcript = textkit::trimmed(text);
    if (transcript.isEmpty())
        co_return MeetingIncrementalFormatResult{Outcome::noUpdate, noUpdateAnswer};

    tick.speakerHints.clear();
    const StructuredFormattingTask task = StructuredFormattingTask::meetingIncremental(tick);
    FormatterOperation<QString> operation = [this, transcript,
                                             task](VellupStructuredFormatterConfiguration c) {
        return m_structuredFormattingRunner(transcript, task, std::move(c));
    };
    FormatterResult<QString> formatted;
    bool failed = false;
    try {
        formatted = co_await m_gatewayRecovery->performFormatterOperation(std::move(operation));
    } catch (...) {
        // Dropped on purpose: the decision record says "formatter_failed"
        // and the next tick offers the text again.
        failed = true;
    }
    if (failed || !formatted)
        co_return MeetingIncrementalFormatResult{Outcome::failed, noUpdateAnswer};

    const QString answer = textkit::trimmed(formatted->value);
    if (answer.isEmpty() || answer == noUpdateAnswer)
        co_return MeetingIncrementalFormatResult{Outcome::noUpdate, noUpdateAnswer};
    co_return MeetingIncrementalFormatResult{Outcome::produced, answer};
}

// --- The context a request carries ----------------------------------------------------------

QString TranscriberViewModel::meetingIncrementalCurrentStageTitle() const {
    return m_meetingBlocks.isEmpty() ? QString() : m_meetingBlocks.last().title();
}

QString TranscriberViewModel::meetingIncrementalCurrentStageOutline() const {
    return m_meetingBlocks.isEmpty() ? QString() : m_meetingBlocks.last().promptFragment();
}

QStringList TranscriberViewModel::meetingIncrementalCurrentStageModuleNames() const {
    if (m_meetingBlocks.isEmpty())
        return {};
    const MeetingMinuteBlock &stage = m_meetingBlocks.last();
    QStringList names;
    for (const MeetingTextModule &module : stage.textModules())
        names.append(module.title);
    for (const MeetingVisualModule &module : stage.visualModules())
        names.append(module.title);
    return names;
}

int TranscriberViewModel::meetingIncrementalCurrentStageTextModuleCount() const {
    return m_meetingBlocks.isEmpty() ? 0 : int(m_meetingBlocks.last().textModules().size());
}

QStringList TranscriberViewModel::meetingIncrementalPreviousStageOutlines() const {
    const qsizetype end = std::max<qsizetype>(m_meetingBlocks.size() - 1, 0);
    const qsizetype begin = std::max<qsizetype>(end - previousStageLimit, 0);
    QStringList outlines;
    for (qsizetype index = begin; index < end; ++index)
        outlines.append(m_meetingBlocks.at(index).promptOutlineFragment());
    return outlines;
}

QString TranscriberViewModel::meetingIncrementalRecentContext() const {
    const qsizetype count = m_meetingRawSegments.size();
    QStringList texts;
    for (qsizetype index = std::max<qsizetype>(count - meetingIncrementalContextSegmentLimit, 0);
         index < count; ++index) {
        texts.append(m_meetingRawSegments.at(index).text);
    }
    const QString recent = textkit::trimmed(texts.join(u'\n'));
    if (!recent.isEmpty())
        return recent;
    const QString snapshot = textkit::trimmed(m_lastMeetingTranscriptSnapshot);
    if (snapshot.isEmpty())
        return snapshot;
    return textkit::trimmed(
        textkit::graphemeSuffix(snapshot, meetingIncrementalFallbackContextCharacterLimit));
}

} // namespace tovalit
