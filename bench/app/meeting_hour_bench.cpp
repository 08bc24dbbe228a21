// An hour-long meeting through the controller and the real floating panel,
// on the session clock and sleeper so the hour passes at once: the stand-in
// recogniser sends a partial result every 200 ms carrying the whole growing
// transcript (a sentence end about every 5 s, now and then a last character
// it takes back in the next result), the stream breaks once at minute 30 and
// a replacement carries on, and the stand-in model answers every 30 s tick
// with a stage in the tree language: a new stage every fourth tick, the
// ticks between continuing (merging into) it, each with text modules and two
// boards. The tab on show changes every 30 s, between the ticks.
//
// At meeting minutes 1, 10, 30 and 60 it prints, for the minute before:
// the GUI thread's time per partial result with each tab on show and per
// tick (median and longest; a step runs until the event loop is idle again,
// so layout and painting are in it), the longest tab switch, the time to
// render the panel with the timeline, with the raw transcript, and the
// boards of the newest stage alone, and the resident memory.
//
//   build/bench/bench_meeting_hour
//
// Counters: the minute-60 figures and the longest single step of the hour.
// With TOVALIT_BENCH_SCREENSHOTS set to a folder, it also writes there what
// the screen shows during the countdown, after entry, at minutes 10 and 60
// with each tab, and after the stop, and the minutes the stop delivered:
// run under the test session (scripts/lib/headless-session, with
// QT_QPA_PLATFORM=xcb) to see the panel on a real X display.

#include "app/floating_panel_coordinator.h"
#include "tests/state/meeting_view_model_harness.h"
#include "views/hud/expanded_meeting_hud_view.h"
#include "views/hud/floating_hud_container_view.h"
#include "views/hud/floating_hud_panel.h"
#include "views/hud/meeting_visual_module_view.h"
#include "views/hud/recording_hud_view.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <ctime>
#include <map>
#include <unistd.h>

using namespace tovalit;
using namespace tovalit::testing;
using namespace Qt::StringLiterals;

namespace {

void ensureApplication() {
    static QApplication *application = [] {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
        static int argc = 1;
        static char name[] = "bench_meeting_hour";
        static char *argv[] = {name, nullptr};
        return new QApplication(argc, argv);
    }();
    Q_UNUSED(application);
}

// Runs the GUI thread until it has nothing left to do now: queued calls,
// resumed coroutines, layout, painting and deferred deletes.
// Returns the longest single turn of the event loop among them, in ms: a
// frame the user waits for.
double drain() {
    QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance();
    double longestTurn = 0;
    for (int round = 0; round < 200; ++round) {
        QElapsedTimer turn;
        turn.start();
        const bool busy = dispatcher->processEvents(QEventLoop::AllEvents);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        longestTurn = std::max(longestTurn, double(turn.nsecsElapsed()) / 1e6);
        if (!busy)
            break;
    }
    return longestTurn;
}

double residentMegabytes() {
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1
               ? double(fields[1].toLongLong()) * double(sysconf(_SC_PAGESIZE)) / 1048576.0
               : 0;
}

// Sleeps on the session clock: each ends once the clock has reached its
// time (or when cancelled).
class VirtualSleeps {
public:
    explicit VirtualSleeps(ManualTime &time)
        : m_time(time) {}

    Sleeper sleeper() {
        return [this](double seconds, CancelToken token) {
            auto gate = std::make_shared<Gate>();
            auto subscription =
                std::make_shared<CancelSubscription>(token.onCancel([gate] { gate->open(); }));
            m_pending.push_back({m_time.now().addMSecs(qint64(std::llround(seconds * 1000.0))),
                                 gate, subscription});
            return wait(gate);
        };
    }
    // Opens every sleep whose time has come; true when any did.
    bool wakeDue() {
        const QDateTime now = m_time.now();
        bool woke = false;
        for (auto sleep = m_pending.begin(); sleep != m_pending.end();) {
            if (sleep->due <= now) {
                sleep->gate->open();
                sleep = m_pending.erase(sleep);
                woke = true;
            } else {
                ++sleep;
            }
        }
        return woke;
    }

private:
    struct Sleep {
        QDateTime due;
        std::shared_ptr<Gate> gate;
        std::shared_ptr<CancelSubscription> subscription;
    };
    static QCoro::Task<void> wait(std::shared_ptr<Gate> gate) { co_await gate->wait(); }

    ManualTime &m_time;
    std::vector<Sleep> m_pending;
};

// What the meeting says: sentences of 30-40 characters, one or two
// characters per partial result.
class Speaker {
public:
    // The transcript of the next partial result, as the current stream
    // sends it.
    QString next() {
        if (m_sentence.isEmpty() || m_shown >= m_sentence.size()) {
            m_said += m_sentence;
            m_sentence = makeSentence();
            m_shown = 0;
        }
        m_shown = std::min<qsizetype>(m_shown + 1 + m_random.bounded(2), m_sentence.size());
        QString partial = m_said + m_sentence.first(m_shown);
        // Now and then the last character heard is a near miss, put right
        // in the next result.
        if (++m_count % 5 == 0 && m_shown < m_sentence.size())
            partial.back() = QChar(u'那');
        return partial.mid(m_streamStart);
    }
    // A new stream starts from empty text, hearing the last `replayed`
    // characters again from the audio kept during the break.
    void restartStream(qsizetype replayed) {
        m_streamStart = std::max<qsizetype>(m_said.size() + m_shown - replayed, 0);
    }

private:
    QString makeSentence() {
        static const QStringList phrases{
            u"我们先看一下上周的进展"_s,   u"灰度上线的节奏需要再确认"_s, u"术语收集的方式"_s,
            u"预算这块要控制在范围内"_s,   u"研发这边下周一给出方案"_s,   u"测试需要提前介入"_s,
            u"用户反馈主要集中在延迟上"_s, u"这个问题之前讨论过"_s,       u"我补充一点"_s,
            u"数据看板还没有更新"_s,       u"招聘计划可能要往后放"_s,     u"先把风险列出来"_s};
        QString sentence;
        const qsizetype target = 30 + m_random.bounded(11);
        while (sentence.size() < target) {
            if (!sentence.isEmpty())
                sentence += u'，';
            sentence += phrases.at(m_random.bounded(int(phrases.size())));
        }
        sentence += m_random.bounded(4) == 0 ? u'？' : u'。';
        return sentence;
    }

    QRandomGenerator m_random{20260307};
    QString m_said;
    QString m_sentence;
    qsizetype m_shown = 0;
    qsizetype m_streamStart = 0;
    int m_count = 0;
};

// The model's answer to tick `tick` (1 at entry): a new stage every fourth
// tick, on a topic other than the last one's, the ticks between continuing
// it.
QString stageAnswer(int tick) {
    static const QStringList topics{u"预算复盘"_s, u"招聘节奏"_s, u"灰度上线"_s, u"术语收集"_s,
                                    u"数据看板"_s, u"用户反馈"_s, u"测试介入"_s};
    const int stage = (tick - 1) / 4;
    const int turn = (tick - 1) % 4 + 1;
    return QStringList{
        u"[阶段] "_s + topics.at(stage % topics.size()),
        u"[文本模块] 要点%1 => 第%2轮讨论确认了灰度节奏，研发下周一给出方案，测试提前介入。"_s
            .arg(turn)
            .arg(tick),
        u"[文本模块] 风险 => 延迟反馈集中，预算需要控制，招聘可能后移。"_s,
        u"[图文模块] 流程板|推进步骤 => 收集::本周完成 || 评审::下周一确认 || "
        u"灰度::月底上线 || 复盘::上线后一周"_s,
        u"[图文模块] 多卡片|角色分工%1 => 产品::负责需求 || 研发::负责实现 || "
        u"测试::负责验收"_s.arg(turn)}
        .join(u'\n');
}

// How long a step kept the GUI thread busy until its event loop was idle
// again, the CPU time the GUI thread spent meanwhile (on a busy machine the
// first also holds the waits for a processor and for the painting threads
// the raster engine hands large fills to), and the longest single turn of
// the event loop in it (a frame: a step that goes on over several turns,
// such as a list gliding to its end, lets the screen update between them).
struct Step {
    double wall = 0;
    double cpu = 0;
    double turn = 0;
};

struct Samples {
    QList<double> wall;
    QList<double> cpu;
    QList<double> turns;

    void add(Step step) {
        wall.append(step.wall);
        cpu.append(step.cpu);
        turns.append(step.turn);
    }
    static double median(QList<double> values) {
        if (values.isEmpty())
            return 0;
        std::sort(values.begin(), values.end());
        const qsizetype middle = values.size() / 2;
        return values.size() % 2 ? values.at(middle)
                                 : (values.at(middle - 1) + values.at(middle)) / 2;
    }
    static double longest(const QList<double> &values) {
        return values.isEmpty() ? 0 : *std::max_element(values.begin(), values.end());
    }
    double median() const { return median(wall); }
    double longest() const { return longest(wall); }
    double longestCpu() const { return longest(cpu); }
    double longestTurn() const { return longest(turns); }
    QByteArray described() const {
        return QString::asprintf("%.3f / %.3f / %.3f / %.3f", median(), longest(), longestCpu(),
                                 longestTurn())
            .toUtf8();
    }
};

struct Minute {
    Samples rawPartials, timelinePartials, ticks, switches;
};

struct Checkpoint {
    int minute = 0;
    Minute window;
    double renderTimeline = 0, renderRaw = 0, renderBoards = 0, resident = 0;
    int segments = 0, stages = 0;
};

class MeetingHour : public MeetingViewModelTest {
public:
    MeetingHour() { SetUp(); }
    void TestBody() override {}

    std::vector<Checkpoint> run(benchmark::State &state);
    // The longest step of the meeting of each kind (entry, partial result,
    // tick, tab switch, stream break), with the meeting second it ended at.
    struct Longest {
        double milliseconds = 0;
        double second = 0;
        double cpu = 0;
        double turn = 0;
    };
    const std::map<std::string, Longest> &longestSteps() const { return m_longest; }
    double longestStep() const {
        double longest = 0;
        for (const auto &[kind, step] : m_longest)
            longest = std::max(longest, step.milliseconds);
        return longest;
    }
    double longestStepCpu() const {
        double longest = 0;
        for (const auto &[kind, step] : m_longest)
            longest = std::max(longest, step.cpu);
        return longest;
    }
    double longestTurn() const {
        double longest = 0;
        for (const auto &[kind, step] : m_longest)
            longest = std::max(longest, step.turn);
        return longest;
    }

private:
    ExpandedMeetingHUDView *meetingView() const {
        FloatingHUDPanel *hud = coordinator->panel();
        RecordingHUDView *recording = hud ? hud->containerView()->recordingView() : nullptr;
        return recording ? recording->meetingView() : nullptr;
    }
    static double threadCpuMilliseconds() {
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
    }
    static Step timed(const std::function<void()> &step) {
        const double cpu = threadCpuMilliseconds();
        QElapsedTimer clock;
        clock.start();
        step();
        const double first = double(clock.nsecsElapsed()) / 1e6;
        const double turn = std::max(first, drain());
        return {double(clock.nsecsElapsed()) / 1e6, threadCpuMilliseconds() - cpu, turn};
    }
    void note(const std::string &kind, Step step) {
        Longest &longest = m_longest[kind];
        if (step.wall > longest.milliseconds) {
            longest.milliseconds = step.wall;
            longest.second = m_enteredAt ? double(m_enteredAt->msecsTo(time.now())) / 1000.0 : 0;
        }
        longest.cpu = std::max(longest.cpu, step.cpu);
        longest.turn = std::max(longest.turn, step.turn);
    }
    // The median of five renderings of `widget`.
    static double renderTime(QWidget *widget) {
        Samples samples;
        for (int round = 0; round < 5; ++round) {
            QElapsedTimer clock;
            clock.start();
            const QPixmap image = widget->grab();
            samples.add({double(clock.nsecsElapsed()) / 1e6, 0});
        }
        return samples.median();
    }
    double boardsRenderTime() {
        ExpandedMeetingHUDView *view = meetingView();
        QList<MeetingVisualModuleView *> boards =
            view ? view->findChildren<MeetingVisualModuleView *>()
                 : QList<MeetingVisualModuleView *>();
        // The newest stage's boards are the last ones on show.
        QList<MeetingVisualModuleView *> shown;
        for (MeetingVisualModuleView *board : boards) {
            if (board->isVisible())
                shown.append(board);
        }
        double total = 0;
        for (qsizetype index = std::max<qsizetype>(shown.size() - 2, 0); index < shown.size();
             ++index) {
            total += renderTime(shown[index]);
        }
        return total;
    }
    // What the screen shows (the panel alone where nothing can grab the
    // screen), as <name>.png in the folder of TOVALIT_BENCH_SCREENSHOTS.
    void screenshot(const QString &name) const {
        const QString folder = qEnvironmentVariable("TOVALIT_BENCH_SCREENSHOTS");
        if (folder.isEmpty() || !coordinator->panel())
            return;
        // A list gliding to its newest entry finishes first.
        QEventLoop settle;
        QTimer::singleShot(400, &settle, &QEventLoop::quit);
        settle.exec();
        QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0);
        if (shot.isNull() || qEnvironmentVariable("QT_QPA_PLATFORM") == u"offscreen")
            shot = coordinator->panel()->grab();
        shot.save(QDir(folder).filePath(name + QStringLiteral(".png")));
    }

    Checkpoint checkpoint(int minute, const Minute &window) {
        Checkpoint point;
        point.minute = minute;
        point.window = window;
        ExpandedMeetingHUDView *view = meetingView();
        const MeetingHUDTab onShow = view->selectedTab();
        view->selectTab(MeetingHUDTab::timeline);
        drain();
        point.renderTimeline = renderTime(coordinator->panel());
        point.renderBoards = boardsRenderTime();
        screenshot(QStringLiteral("minute-%1-timeline").arg(minute));
        view->selectTab(MeetingHUDTab::rawTranscript);
        drain();
        point.renderRaw = renderTime(coordinator->panel());
        screenshot(QStringLiteral("minute-%1-raw").arg(minute));
        view->selectTab(onShow);
        drain();
        point.resident = residentMegabytes();
        point.segments = int(viewModel->meetingRawSegments().size());
        point.stages = int(viewModel->meetingBlocks().size());
        return point;
    }

    std::shared_ptr<FloatingPanelCoordinator> coordinator;
    VirtualSleeps sleeps{time};
    VirtualSleeps panelSleeps{time};
    Speaker speaker;
    int ticks = 0;
    std::optional<QDateTime> m_enteredAt;
    std::map<std::string, Longest> m_longest;
};

std::vector<Checkpoint> MeetingHour::run(benchmark::State &state) {
    coordinator = std::make_shared<FloatingPanelCoordinator>(nullptr, panelSleeps.sleeper());
    screenPanel = coordinator;
    adjustDependencies = [this](TranscriberViewModel::Dependencies &d) {
        d.sleepForDuration = sleeps.sleeper();
        d.structuredFormattingRunner = [this](QString, StructuredFormattingTask task,
                                              VellupStructuredFormatterConfiguration) {
            if (task.asMeetingIncremental())
                return answerAfter<QString>(stageAnswer(++ticks), nullptr);
            return answerAfter<QString>(u"## 会议概览\n推进计划。"_s, nullptr);
        };
    };
    makeViewModel();
    startRecording();

    const std::vector<int> reported{1, 10, 30, 60};
    std::vector<Checkpoint> checkpoints;
    Minute window;
    bool broke = false;
    for (;;) {
        time.advance(0.2);
        const int ticksBefore = ticks;
        const Step woken = timed([this] { sleeps.wakeDue(); });
        if (viewModel->meetingModeCountdownRemainingSeconds() == 5)
            screenshot(QStringLiteral("countdown"));
        if (!m_enteredAt && viewModel->hasEnteredMeetingMode()) {
            m_enteredAt = time.now();
            note("entry", woken);
        } else if (m_enteredAt && ticks > ticksBefore) {
            window.ticks.add(woken);
            note("tick", woken);
        }
        // Meeting time on the 200 ms grid, in tenths of a second.
        const qint64 tenths = m_enteredAt ? (m_enteredAt->msecsTo(time.now()) + 50) / 100 : -1;
        if (tenths == 50)
            screenshot(QStringLiteral("entered"));
        if (tenths > 0 && tenths % 300 == 150) {
            ExpandedMeetingHUDView *view = meetingView();
            const MeetingHUDTab other = view->selectedTab() == MeetingHUDTab::timeline
                                            ? MeetingHUDTab::rawTranscript
                                            : MeetingHUDTab::timeline;
            const Step switched = timed([view, other] { view->selectTab(other); });
            window.switches.add(switched);
            note("tab switch", switched);
        }
        if (tenths == 30 * 600 && !broke) {
            // The stream breaks; its replacement hears the last words again.
            broke = true;
            const int before = int(transcribers.size());
            note("stream break", timed([this] {
                     lastTranscriber().breakStream(
                         errorOf(TextError(u"Socket is not connected"_s)));
                     sleeps.wakeDue();
                 }));
            if (int(transcribers.size()) == before || !lastTranscriber().started) {
                state.SkipWithError("the live stream was not rebuilt after its break");
                return checkpoints;
            }
            speaker.restartStream(8);
        }
        const QString partial = speaker.next();
        const Step spoken = timed([this, &partial] { lastTranscriber().speak(partial); });
        if (m_enteredAt) {
            const bool raw = meetingView()->selectedTab() == MeetingHUDTab::rawTranscript;
            (raw ? window.rawPartials : window.timelinePartials).add(spoken);
            note(raw ? "partial, raw on show" : "partial, timeline on show", spoken);
        }
        if (tenths > 0 && tenths % 600 == 0) {
            const int minute = int(tenths / 600);
            if (std::find(reported.begin(), reported.end(), minute) != reported.end())
                checkpoints.push_back(checkpoint(minute, window));
            window = Minute();
            if (minute == reported.back())
                break;
        }
    }
    stopRecording();
    drain();
    screenshot(QStringLiteral("stopped"));
    if (const QString folder = qEnvironmentVariable("TOVALIT_BENCH_SCREENSHOTS");
        !folder.isEmpty() && !insertionCalls.empty()) {
        QFile minutes(QDir(folder).filePath(QStringLiteral("minutes.md")));
        if (minutes.open(QIODevice::WriteOnly))
            minutes.write(insertionCalls.back().text.toUtf8());
    }
    return checkpoints;
}

void printCheckpoints(const std::vector<Checkpoint> &checkpoints) {
    std::printf("\nsteps: median / longest (until the event loop is idle) / longest GUI thread "
                "CPU / longest single turn of the event loop, ms\n"
                "meeting minute | partial, raw on show | partial, timeline on show | tick | "
                "tab switch | render timeline / raw / boards ms | resident MB | segments | "
                "stages\n");
    for (const Checkpoint &point : checkpoints) {
        const Minute &w = point.window;
        std::printf("%2d | %s | %s | %s | %s | %.2f / %.2f / %.2f | %.1f | %d | %d\n", point.minute,
                    w.rawPartials.described().constData(),
                    w.timelinePartials.described().constData(), w.ticks.described().constData(),
                    w.switches.described().constData(), point.renderTimeline, point.renderRaw,
                    point.renderBoards, point.resident, point.segments, point.stages);
    }
    std::fflush(stdout);
}

void MeetingHourBench(benchmark::State &state) {
    ensureApplication();
    for (auto _ : state) {
        MeetingHour hour;
        const std::vector<Checkpoint> checkpoints = hour.run(state);
        printCheckpoints(checkpoints);
        std::printf("\nlongest of the hour: step (meeting second) / GUI thread CPU / single "
                    "turn:\n");
        for (const auto &[kind, step] : hour.longestSteps()) {
            std::printf("  %s: %.3f ms (%.0f s) / %.3f ms / %.3f ms\n", kind.c_str(),
                        step.milliseconds, step.second, step.cpu, step.turn);
        }
        std::fflush(stdout);
        if (checkpoints.empty())
            continue;
        const Checkpoint &first = checkpoints.front();
        const Checkpoint &last = checkpoints.back();
        state.counters["partial_raw_median_ms"] = last.window.rawPartials.median();
        state.counters["partial_raw_longest_ms"] = last.window.rawPartials.longest();
        state.counters["partial_timeline_median_ms"] = last.window.timelinePartials.median();
        state.counters["tick_longest_ms"] = last.window.ticks.longest();
        state.counters["switch_longest_ms"] = last.window.switches.longest();
        state.counters["resident_growth_mb"] = last.resident - first.resident;
        state.counters["longest_step_ms"] = hour.longestStep();
        state.counters["longest_step_cpu_ms"] = hour.longestStepCpu();
        state.counters["longest_turn_ms"] = hour.longestTurn();
    }
}
BENCHMARK(MeetingHourBench)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace
