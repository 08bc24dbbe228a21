#pragma once

// Drives recordings into meeting mode: the threshold, the countdown and the
// summary loop all sleep on the session sleeper, so a test moves the clock
// and wakes the newest sleep to let "a minute" pass at once.

#include "services/meeting/meeting_mode_debug_logger.h"
#include "tests/state/view_model_harness.h"

#include <QFile>

namespace tovalit::testing {

inline std::string u8(const QString &text) {
    return text.toStdString();
}

// One stage in the tree language, each module as "标题 => 正文".
inline QString stageAnswer(const QString &title, const QStringList &textModules) {
    QStringList lines{QStringLiteral("[阶段] ") + title};
    for (const QString &module : textModules)
        lines << QStringLiteral("[文本模块] ") + module;
    return lines.join(u'\n');
}

class MeetingViewModelTest : public ViewModelTest {
protected:
    void SetUp() override { useGateway(); }

    const ManualSleeps::Sleep &lastSleep() const {
        return sessionSleeps.at(sessionSleeps.count() - 1);
    }
    // The clock moves on by `seconds` and the newest sleep ends.
    void sleepPasses(double seconds) {
        ASSERT_GT(sessionSleeps.count(), 0u);
        time.advance(seconds);
        sessionSleeps.wake(sessionSleeps.count() - 1);
        settle();
    }
    // The live recogniser's merged text so far.
    void speak(const QString &transcript) {
        lastTranscriber().speak(transcript);
        settle();
    }
    // From the start of a recording through the default one-minute wait.
    void reachThreshold() {
        ASSERT_DOUBLE_EQ(lastSleep().seconds, 60.0);
        sleepPasses(60.0);
        ASSERT_EQ(viewModel->meetingModeCountdownRemainingSeconds(), 10);
    }
    // The ten seconds of the default countdown, ending in entry.
    void countDown() {
        for (int second = 0; second < 10; ++second) {
            ASSERT_DOUBLE_EQ(lastSleep().seconds, 1.0);
            sleepPasses(1.0);
        }
        ASSERT_TRUE(viewModel->hasEnteredMeetingMode());
    }
    // A recording that says `transcript` and becomes a meeting at 01:10.
    void enterMeeting(const QString &transcript) {
        startRecording();
        if (!transcript.isEmpty())
            speak(transcript);
        reachThreshold();
        countDown();
    }

    // The incremental request of formatter call `index`.
    StructuredFormattingTask::MeetingIncremental tickRequest(std::size_t index) const {
        const auto *tick = formatterCalls.at(index).task.asMeetingIncremental();
        return tick ? *tick : StructuredFormattingTask::MeetingIncremental{};
    }
    int meetingRequestCount() const {
        int count = 0;
        for (const FormatterCall &call : formatterCalls)
            count += call.task.asMeetingIncremental() ? 1 : 0;
        return count;
    }

    QString meetingLog() const {
        MeetingModeDebugLogger::shared().flush();
        QFile file(folders.dataFolder() + QStringLiteral("/Diagnostics/meeting-mode-debug.log"));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
    // The result word of every decision record, in order.
    QStringList decisionResults() const {
        QStringList results;
        for (const QString &line : meetingLog().split(u'\n')) {
            const qsizetype at = line.indexOf(QStringLiteral(" | result="));
            if (line.startsWith(QStringLiteral("range=")) && at > 0)
                results << line.mid(at + 10);
        }
        return results;
    }
};

} // namespace tovalit::testing
