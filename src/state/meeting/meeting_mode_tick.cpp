// The meeting summary: a loop on a fixed grid that, at every interval, asks
// the language model to fold the transcript that arrived since the last
// settled stage into the tree.

#include "services/meeting/meeting_stage_builder.h"
#include "state/meeting/meeting_mode.h"
#include "state/meeting/meeting_mode_host.h"
#include "state/shared/gateway_session_recovery.h"
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

void MeetingMode::startMeetingMinuteUpdateLoop() {
    m_meetingMinuteUpdateTask.cancel();
    const QUuid sessionID = m_host.activeRecordingSessionID();
    const double interval = m_meetingModeTimings.updateInterval;
    QPointer<MeetingMode> self(this);
    m_meetingMinuteUpdateTask = spawnCancellable(
        this,
        [self, sessionID, interval](CancelToken token) -> QCoro::Task<void> {
            if (self)
                co_await self->runMeetingMinuteUpdateLoop(sessionID, interval, token);
        },
        QStringLiteral("meeting minute loop"));
}

QCoro::Task<void> MeetingMode::runMeetingMinuteUpdateLoop(QUuid sessionID, double interval,
                                                          CancelToken token) {
    QPointer<MeetingMode> self(this);
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
            !m_host.hasEnteredMeetingMode()) {
            co_return;
        }
        co_await appendMeetingMinuteBlockIfNeeded(false);
        if (!self)
            co_return;
    }
}

// --- One tick -----------------------------------------------------------------------------

QCoro::Task<void> MeetingMode::appendMeetingMinuteBlockIfNeeded(bool force) {
    if (!isRecording() || !m_host.hasEnteredMeetingMode())
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
    const qsizetype blockCount = m_host.meetingBlocks().size();
    StructuredFormattingTask::MeetingIncremental tick;
    tick.tickIndex = int(blockCount) + 1;
    tick.rangeLabel = MeetingMinuteBlock::timeRangeLabel(start, now);
    tick.previousStages = meetingIncrementalPreviousStageOutlines();
    tick.currentStageTitle = meetingIncrementalCurrentStageTitle();
    tick.currentStageOutline = meetingIncrementalCurrentStageOutline();
    tick.currentStageModules = meetingIncrementalCurrentStageModuleNames();
    tick.currentStageTextModuleCount = meetingIncrementalCurrentStageTextModuleCount();
    tick.recentContext = meetingIncrementalRecentContext();
    tick.pendingSeconds = std::max(now - start, 0);
    tick.mustDecide = mustDecide;
    tick.mustLandStage = mustDecide && blockCount == 0;
    // What the pending text held when the request went out; see below.
    const QString sentPendingText = m_pendingMeetingIncrementalText;
    const QUuid sessionID = m_host.activeRecordingSessionID();

    QPointer<MeetingMode> self(this);
    const MeetingIncrementalFormatResult formatted =
        co_await formatMeetingIncrementalBlock(pending, tick);
    // Only a meeting still recording takes the answer. Once stopped, its
    // minutes are made from the tree as the stop found it, and the panel
    // is the stop's; a cancelled recording, or the next one, is not this
    // meeting at all.
    if (!self)
        co_return;
    if (!m_host.isCurrentSession(sessionID) || !isRecording() || !m_host.hasEnteredMeetingMode()) {
        // The model was asked all the same: the log keeps its answer.
        logMeetingIncrementalDecision(tick, pending, formatted.responseText,
                                      QStringLiteral("ignored_after_stop"), sessionID);
        co_return;
    }

    // The tree as it stands now, which this tick's answer extends.
    QList<MeetingMinuteBlock> blocks = m_host.meetingBlocks();
    std::optional<MeetingMinuteBlock> block;
    if (formatted.outcome == MeetingIncrementalFormatResult::Outcome::produced) {
        block = MeetingStageBuilder::buildMeetingBlock(
            formatted.responseText, int(blocks.size()) + 1, start, now, tick.currentStageTitle,
            tick.currentStageTextModuleCount, pending, m_currentDate());
        if (block) {
            block = MeetingStageBuilder::normalizedMeetingContinuationBlock(
                *block, tick.currentStageTitle, tick.currentStageTextModuleCount, pending,
                mustDecide);
        }
    }

    QString result;
    switch (formatted.outcome) {
    case MeetingIncrementalFormatResult::Outcome::produced:
        result = block ? MeetingStageBuilder::meetingMergeActionDescription(blocks, *block)
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
        MeetingStageBuilder::mergeMeetingBlock(blocks, *block);
        m_host.setMeetingBlocks(std::move(blocks));
        m_host.presentRecordingHUD();
    } else if (formatted.outcome == MeetingIncrementalFormatResult::Outcome::noUpdate &&
               !tick.mustLandStage) {
        // Unforced ticks skip this text until new transcript extends it.
        m_lastMeetingEvaluatedIncrementalText = pending;
    }
    // A failure or an unusable answer leaves everything for the next tick.
}

QCoro::Task<MeetingMode::MeetingIncrementalFormatResult>
MeetingMode::formatMeetingIncrementalBlock(QString text,
                                           StructuredFormattingTask::MeetingIncremental tick) {
    using Outcome = MeetingIncrementalFormatResult::Outcome;
    const QString transcript = textkit::trimmed(text);
    if (transcript.isEmpty())
        co_return MeetingIncrementalFormatResult{Outcome::noUpdate, noUpdateAnswer};

    tick.speakerHints.clear();
    const StructuredFormattingTask task = StructuredFormattingTask::meetingIncremental(tick);
    GatewaySessionRecovery::FormatterOperation<QString> operation =
        [this, transcript, task](VellupStructuredFormatterConfiguration c) {
            return m_structuredFormattingRunner(transcript, task, std::move(c));
        };
    GatewaySessionRecovery::FormatterResult<QString> formatted;
    bool failed = false;
    try {
        formatted = co_await m_gatewayRecovery.performFormatterOperation(std::move(operation));
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

QString MeetingMode::meetingIncrementalCurrentStageTitle() const {
    const QList<MeetingMinuteBlock> blocks = m_host.meetingBlocks();
    return blocks.isEmpty() ? QString() : blocks.last().title();
}

QString MeetingMode::meetingIncrementalCurrentStageOutline() const {
    const QList<MeetingMinuteBlock> blocks = m_host.meetingBlocks();
    return blocks.isEmpty() ? QString() : blocks.last().promptFragment();
}

QStringList MeetingMode::meetingIncrementalCurrentStageModuleNames() const {
    const QList<MeetingMinuteBlock> blocks = m_host.meetingBlocks();
    if (blocks.isEmpty())
        return {};
    const MeetingMinuteBlock &stage = blocks.last();
    QStringList names;
    for (const MeetingTextModule &module : stage.textModules())
        names.append(module.title);
    for (const MeetingVisualModule &module : stage.visualModules())
        names.append(module.title);
    return names;
}

int MeetingMode::meetingIncrementalCurrentStageTextModuleCount() const {
    const QList<MeetingMinuteBlock> blocks = m_host.meetingBlocks();
    return blocks.isEmpty() ? 0 : int(blocks.last().textModules().size());
}

QStringList MeetingMode::meetingIncrementalPreviousStageOutlines() const {
    const QList<MeetingMinuteBlock> blocks = m_host.meetingBlocks();
    const qsizetype end = std::max<qsizetype>(blocks.size() - 1, 0);
    const qsizetype begin = std::max<qsizetype>(end - previousStageLimit, 0);
    QStringList outlines;
    for (qsizetype index = begin; index < end; ++index)
        outlines.append(blocks.at(index).promptOutlineFragment());
    return outlines;
}

QString MeetingMode::meetingIncrementalRecentContext() const {
    const QList<MeetingASRSegment> segments = m_host.meetingRawSegments();
    const qsizetype count = segments.size();
    QStringList texts;
    for (qsizetype index = std::max<qsizetype>(count - meetingIncrementalContextSegmentLimit, 0);
         index < count; ++index) {
        texts.append(segments.at(index).text);
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
