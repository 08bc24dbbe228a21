// Costs of the floating panel on the paths the controller drives many times
// a second: a level update of the capsule and of the meeting panel (which
// must not redo any window or layout work), the elapsed-time tick of a
// meeting, and a growing raw transcript.

#include "app/floating_panel_coordinator.h"
#include "models/meeting_node_id.h"
#include "tests/support/meeting_samples.h"
#include "views/hud/expanded_meeting_hud_view.h"
#include "views/hud/floating_hud_container_view.h"
#include "views/hud/floating_hud_panel.h"
#include "views/hud/recording_hud_view.h"

#include <QApplication>

#include <benchmark/benchmark.h>

using namespace tovalit;

namespace {

void ensureApplication() {
    static QApplication *application = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        // The offscreen platform warns about every raise and mask.
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
        static int argc = 1;
        static char name[] = "bench_floating_panel";
        static char *argv[] = {name, nullptr};
        return new QApplication(argc, argv);
    }();
    Q_UNUSED(application);
}

QList<double> levelsAt(std::int64_t step) {
    const double level = double(step % 10) / 10.0;
    return {level, 0.3, 0.6, 0.2, level};
}

void CapsuleLevelUpdate(benchmark::State &state) {
    ensureApplication();
    FloatingPanelCoordinator coordinator;
    coordinator.showRecording(
        {}, {}, std::nullopt, std::nullopt, {}, [] {}, [] {});
    std::int64_t step = 0;
    for (auto _ : state)
        coordinator.showRecording(
            levelsAt(++step), {}, std::nullopt, std::nullopt, {}, [] {}, [] {});
}
BENCHMARK(CapsuleLevelUpdate);

void MeetingLevelUpdate(benchmark::State &state) {
    ensureApplication();
    FloatingPanelCoordinator coordinator;
    const MeetingHUDContent content{QStringLiteral("12:00"), testing::twoStageMeeting(),
                                    testing::sampleSegments()};
    coordinator.showRecording(
        {}, RecordingHUDDisplayState::expandedMeeting(content), std::nullopt, std::nullopt, {},
        [] {}, [] {});
    std::int64_t step = 0;
    for (auto _ : state) {
        // The controller builds the content anew for every call.
        coordinator.showRecording(
            levelsAt(++step), RecordingHUDDisplayState::expandedMeeting(content), std::nullopt,
            std::nullopt, {}, [] {}, [] {});
    }
}
BENCHMARK(MeetingLevelUpdate);

void MeetingElapsedTick(benchmark::State &state) {
    ensureApplication();
    FloatingPanelCoordinator coordinator;
    MeetingHUDContent content{QStringLiteral("12:00"), testing::twoStageMeeting(),
                              testing::sampleSegments()};
    std::int64_t second = 0;
    for (auto _ : state) {
        content.elapsedLabel =
            QString::asprintf("%02lld:%02lld", static_cast<long long>(second / 60),
                              static_cast<long long>(second % 60));
        ++second;
        coordinator.showRecording(
            {0.2}, RecordingHUDDisplayState::expandedMeeting(content), std::nullopt, std::nullopt,
            {}, [] {}, [] {});
        QCoreApplication::processEvents();
    }
}
BENCHMARK(MeetingElapsedTick);

// The raw list on show while the live segment grows: the controller
// rebuilds the whole segment list with new identifiers on every partial
// result, the live segment's text a little longer each time (and shorter
// again, as when a segment closes and the next one starts).
void RawTranscriptGrowth(benchmark::State &state) {
    ensureApplication();
    FloatingPanelCoordinator coordinator;
    QList<MeetingASRSegment> segments;
    for (int index = 0; index < state.range(0); ++index)
        segments.append(
            {newMeetingNodeId(),
             QStringLiteral("第%1段：我们讨论了灰度上线的节奏和术语收集的方式。").arg(index),
             false});
    MeetingHUDContent content{QStringLiteral("30:00"), testing::twoStageMeeting(), segments};
    coordinator.showRecording(
        {}, RecordingHUDDisplayState::expandedMeeting(content), std::nullopt, std::nullopt, {},
        [] {}, [] {});
    coordinator.panel()->containerView()->recordingView()->meetingView()->selectTab(
        MeetingHUDTab::rawTranscript);
    const QString liveStart = content.rawSegments.last().text;
    const QString spoken = QStringLiteral("然后再看一下上线时间和测试安排，以及下周的评审节奏。");
    std::int64_t step = 0;
    for (auto _ : state) {
        for (MeetingASRSegment &segment : content.rawSegments)
            segment.id = newMeetingNodeId();
        content.rawSegments.last().text = liveStart + spoken.left(++step % spoken.size() + 1);
        content.rawSegments.last().isLive = true;
        coordinator.showRecording(
            {0.4}, RecordingHUDDisplayState::expandedMeeting(content), std::nullopt, std::nullopt,
            {}, [] {}, [] {});
        QCoreApplication::processEvents();
    }
}
BENCHMARK(RawTranscriptGrowth)->Arg(50)->Arg(200)->Arg(1000);

} // namespace
