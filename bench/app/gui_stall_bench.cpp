// How long the GUI thread goes without turning its event loop during whole
// dictations through the application as it runs on a desktop: the real
// controller and its services, the session's microphone fed with spoken
// words, the accessibility bus, a Qt editor in front, another application
// holding a large screenshot on the clipboard (offered as PNG, BMP and
// JPEG), and the gateway stand-in on loopback. A 1 ms timer on the GUI
// thread measures it: the longest gap between two of its ticks.
//
// Needs the test session:
//   scripts/lib/headless-session build/bench/bench_gui_stall
//
// Counter: longest_stall_ms, over all dictations; on standard error, the
// five longest gaps of each dictation with the phase each ended in. With
// TOVALIT_BENCH_STALL_TRACES=1 the GUI thread's stack is printed whenever it
// is 40 ms late (a stack in poll() means the process was not scheduled, not
// that it was busy); with TOVALIT_ENABLE_DEBUG_LOGGING=1 the insertion's
// diagnostics lines follow each dictation.
//
// SessionClipboardWithStalledPastes measures, in KDE's Wayland session
// with a native window in front, the clipboard's part of a dictation
// (snapshot, write, restore 0.32 s later) while a large copy of the user's
// that Tovalit offers (as a restore leaves it) is being pasted by three
// readers that take nothing after the first bytes. Counters as above, and
// failed_writes and copies_lost, over all runs. It runs on its own:
//   scripts/lib/headless-wayland-session --desktop kde
//       build/bench/bench_gui_stall --benchmark_filter=StalledPastes
//
// FirstSessionReadWithASilentKeyring measures the start of a dictation
// whose first session read meets a keyring that never answers (a stand-in
// owns the Secret Service's name and takes every call without a reply),
// from the press until the start gives up. The keyring library keeps the
// service it found for the rest of the process, so that benchmark runs
// only on its own, chosen with --benchmark_filter=SilentKeyring.

#include "app/legacy_menu_bar_controller.h"
#include "app/main_window.h"
#include "app/vellup_transcriber_app.h"
#include "platform/linux/ini_defaults_store.h"
#include "platform/linux/linux_insertion_platform.h"
#include "platform/linux/wayland_session_pasteboard.h"
#include "services/settings/tovalit_debug_logger.h"
#include "services/text_injection/pasteboard_snapshot.h"
#include "state/app_launch_coordinator.h"
#include "state/transcriber_view_model.h"
#include "tests/support/gateway_stand_in.h"
#include "tests/support/run_task.h"
#include "tests/support/spoken_audio.h"
#include "tests/support/stalled_bus_name.h"
#include "tests/support/temporary_user_folders.h"
#include "tests/support/test_editor_process.h"
#include "tests/support/wayland_clipboard_client.h"
#include "tests/support/xdotool.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFile>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <atomic>
#include <benchmark/benchmark.h>
#include <csignal>
#include <cstdio>
#include <execinfo.h>
#include <pthread.h>
#include <thread>
#include <unistd.h>

using namespace tovalit;
namespace support = tovalit::testing;

namespace {

// The gaps between the ticks of a 1 ms timer on the GUI thread, with what
// the dictation was doing when each ended.
class StallMeter {
public:
    explicit StallMeter(std::function<QString()> phase)
        : m_phase(std::move(phase)) {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { tick(); });
    }

    void start() {
        m_stalls.clear();
        m_clock.start();
        m_last = 0;
        lastTick = std::chrono::duration_cast<std::chrono::nanoseconds>(
                       std::chrono::steady_clock::now().time_since_epoch())
                       .count();
        m_timer.start();
    }
    void stop() {
        m_timer.stop();
        lastTick = 0;
    }
    // When the timer last ticked, on the steady clock (0: not running).
    std::atomic<qint64> lastTick = 0;

    double longestMilliseconds() const { return m_stalls.isEmpty() ? 0 : m_stalls.first().first; }
    // The longest five, with their phases.
    QString worst() const {
        QStringList lines;
        for (const auto &[milliseconds, phase] : m_stalls)
            lines << QStringLiteral("%1 ms during %2").arg(milliseconds, 0, 'f', 1).arg(phase);
        return lines.join(QStringLiteral("; "));
    }

private:
    void tick() {
        lastTick = std::chrono::duration_cast<std::chrono::nanoseconds>(
                       std::chrono::steady_clock::now().time_since_epoch())
                       .count();
        const qint64 now = m_clock.nsecsElapsed();
        const double gap = double(now - m_last) / 1e6;
        m_last = now;
        m_stalls.append({gap, m_phase()});
        std::sort(m_stalls.begin(), m_stalls.end(),
                  [](const auto &a, const auto &b) { return a.first > b.first; });
        if (m_stalls.size() > 5)
            m_stalls.removeLast();
    }

    std::function<QString()> m_phase;
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    QList<std::pair<double, QString>> m_stalls;
};

// With TOVALIT_BENCH_STALL_TRACES=1, the GUI thread's stack is printed
// whenever it has not ticked for 40 ms: where the time goes.
class StallTracer {
public:
    explicit StallTracer(const std::atomic<qint64> &lastTick)
        : m_lastTick(lastTick)
        , m_gui(pthread_self()) {
        if (qEnvironmentVariable("TOVALIT_BENCH_STALL_TRACES") != u"1")
            return;
        std::signal(SIGUSR1, [](int) {
            void *frames[64];
            const int count = backtrace(frames, 64);
            const char header[] = "gui_stall: the GUI thread, stalled:\n";
            [[maybe_unused]] auto written = write(STDERR_FILENO, header, sizeof header - 1);
            backtrace_symbols_fd(frames, count, STDERR_FILENO);
        });
        m_thread = std::thread([this] { watch(); });
    }
    ~StallTracer() {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    void watch() {
        qint64 traced = -1;
        while (!m_stop) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            const qint64 last = m_lastTick.load();
            if (last <= 0 || last == traced)
                continue;
            const qint64 now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count();
            if (now - last > 40'000'000) {
                traced = last;
                pthread_kill(m_gui, SIGUSR1);
            }
        }
    }

    const std::atomic<qint64> &m_lastTick;
    pthread_t m_gui;
    std::atomic<bool> m_stop = false;
    std::thread m_thread;
};

bool pumpUntil(const std::function<bool()> &condition, int limitMilliseconds, const char *what) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (!condition()) {
        if (elapsed.elapsed() > limitMilliseconds) {
            std::fprintf(stderr, "gui_stall: timed out waiting for %s\n", what);
            return false;
        }
        support::pumpEvents(5);
    }
    return true;
}

// Which keyring the application finds: the session's own, or a stand-in
// that never answers.
enum class Keyring { session, silent };

// Whether the keyring library has found its service in this process yet.
bool keyringFound = false;

// Everything a dictation needs, set up once per run.
struct Desktop {
    explicit Desktop(Keyring keyring) {
        static int argc = 1;
        static char name[] = "bench_gui_stall";
        static char *argv[] = {name, nullptr};
        application = std::make_unique<QApplication>(argc, argv);
        support::setDesktopAccessibilityEnabled(true);
        speech = scratch.filePath(QStringLiteral("speech.wav"));
        if (support::synthesizeSpeech(QStringLiteral("Meeting at three this afternoon."), speech,
                                      {QStringLiteral("-s"), QStringLiteral("170")}))
            return;
        folders = std::make_unique<support::TemporaryUserFolders>();
        gateway = std::make_unique<support::GatewayStandIn>();
        if (keyring == Keyring::silent) {
            silentKeyring = std::make_unique<support::StalledBusName>(
                QStringLiteral("org.tovalit.bench.SilentSecrets") +
                QString::number(QCoreApplication::applicationPid()));
            if (!silentKeyring->waitUntilOwned())
                return;
            // Read by the keyring library when it first looks for its service.
            qputenv("SECRET_SERVICE_BUS_NAME", silentKeyring->name().toUtf8());
        }
        keyringFound = true;

        VellupTranscriberApp::Dependencies dependencies =
            VellupTranscriberApp::Dependencies::linuxDefaults();
        dependencies.defaults = std::make_shared<IniDefaultsStore>(
            folders->configHome() + QStringLiteral("/Tovalit/Tovalit.ini"));
        dependencies.environment = AppConfigurationStore::Environment{
            {QStringLiteral("TOVALIT_GATEWAY_BASE_URL"), gateway->baseURL()}};
        dependencies.menuBar = &menuBar;
        app = std::make_unique<VellupTranscriberApp>(std::move(dependencies));
        app->launch();
        if (app->launchCoordinator().shouldShowPermissionsOnboarding()) {
            if (auto *bypass =
                    app->mainWindow()->findChild<QPushButton *>(QStringLiteral("bypassButton")))
                bypass->click();
        }
        editor = support::TestEditorProcess::start(support::TestEditorProcess::Toolkit::Qt,
                                                   QStringLiteral("会议记录"), QString(), 0);
        ready = bool(editor);
    }

    ~Desktop() {
        if (app)
            app->delegate().applicationWillTerminate();
        app.reset();
        support::pumpEvents(10);
    }

    void bringEditorForward() {
        const QString window =
            support::xdotool({QStringLiteral("search"), QStringLiteral("--pid"),
                              QString::number(editor->processIdentifier()),
                              QStringLiteral("--name"), QStringLiteral("^会议记录$")});
        support::xdotool({QStringLiteral("windowactivate"), window.section(u'\n', 0, 0)});
        pumpUntil(
            [] {
                return support::xdotool({QStringLiteral("getactivewindow"),
                                         QStringLiteral("getwindowname")}) == u"会议记录";
            },
            10000, "the editor in front");
        // An empty field, so every dictation is pasted (text already before
        // the caret is not written again).
        support::xdotool(
            {QStringLiteral("key"), QStringLiteral("ctrl+a"), QStringLiteral("BackSpace")});
    }

    std::unique_ptr<QApplication> application;
    QTemporaryDir scratch;
    QString speech;
    std::unique_ptr<support::TemporaryUserFolders> folders;
    std::unique_ptr<support::GatewayStandIn> gateway;
    std::unique_ptr<support::StalledBusName> silentKeyring;
    LegacyMenuBarController menuBar;
    std::unique_ptr<VellupTranscriberApp> app;
    std::unique_ptr<support::TestEditorProcess> editor;
    bool ready = false;
};

// Another application with a screenshot on the clipboard.
class ScreenshotOnTheClipboard {
public:
    ScreenshotOnTheClipboard() {
        m_process.start(support::testToolPath(QStringLiteral("clipboard_owner")),
                        {QStringLiteral("--text"), QStringLiteral("截图"),
                         QStringLiteral("--image-bytes"), QString::number(20 << 20),
                         QStringLiteral("--image-types"),
                         QStringLiteral("image/png,image/bmp,image/jpeg")});
        QByteArray output;
        m_ready = pumpUntil(
            [&] {
                output += m_process.readAllStandardOutput();
                return output.contains("ready\n");
            },
            15000, "the clipboard owner");
    }
    ~ScreenshotOnTheClipboard() {
        m_process.terminate();
        m_process.waitForFinished(3000);
    }
    bool ready() const { return m_ready; }

private:
    QProcess m_process;
    bool m_ready = false;
};

// The desktop for one benchmark, or nothing when it cannot run here (the
// benchmark is told why).
std::unique_ptr<Desktop> desktopFor(benchmark::State &state, Keyring keyring) {
    if (keyringFound) {
        state.SkipWithError(keyring == Keyring::silent
                                ? "runs on its own: --benchmark_filter=SilentKeyring"
                                : "the keyring was set up for another benchmark in this process");
        return nullptr;
    }
    auto desktop = std::make_unique<Desktop>(keyring);
    if (!desktop->ready) {
        state.SkipWithError("needs the test session (scripts/lib/headless-session)");
        return nullptr;
    }
    return desktop;
}

// The GUI thread's gaps, each with the controller's phase, and the longest
// over every measurement.
struct StallWatch {
    explicit StallWatch(const TranscriberViewModel &controller)
        : meter([&controller] { return describe(controller.recordingState()); })
        , tracer(meter.lastTick) {}

    void stop() {
        meter.stop();
        longest = std::max(longest, meter.longestMilliseconds());
    }

    StallMeter meter;
    StallTracer tracer;
    double longest = 0;
};

void WholeDictationGuiStall(benchmark::State &state) {
    const std::unique_ptr<Desktop> desktop = desktopFor(state, Keyring::session);
    if (!desktop)
        return;
    TranscriberViewModel &controller = desktop->app->viewModel();
    QAction &toggle = *desktop->menuBar.toggleRecordingItem();
    StallWatch watch(controller);
    QStringList worst;
    for (auto _ : state) {
        state.PauseTiming();
        ScreenshotOnTheClipboard screenshot;
        desktop->bringEditorForward();
        state.ResumeTiming();
        if (!screenshot.ready()) {
            state.SkipWithError("no clipboard owner");
            break;
        }

        watch.meter.start();
        toggle.trigger();
        if (!pumpUntil(
                [&] { return controller.recordingState().is(RecordingState::Case::recording); },
                10000, "the recording")) {
            state.SkipWithError("the recording did not start");
            break;
        }
        const size_t framesBefore = desktop->gateway->recogniser.binaryMessages().size();
        QProcess player;
        player.start(QStringLiteral("paplay"),
                     {QStringLiteral("-d"), QStringLiteral("vsink"), desktop->speech});
        pumpUntil([&] { return player.state() == QProcess::NotRunning; }, 15000, "paplay");
        pumpUntil(
            [&] {
                return desktop->gateway->recogniser.binaryMessages().size() >= framesBefore + 24;
            },
            5000, "the speech to be streamed");
        toggle.trigger();
        pumpUntil([&] { return controller.recordingState().is(RecordingState::Case::idle); }, 15000,
                  "the dictation to finish");
        // The paste is done once our write gave way to what was there.
        QClipboard *clipboard = QGuiApplication::clipboard();
        pumpUntil(
            [&] {
                const QMimeData *mime = clipboard->mimeData();
                return clipboard->ownsClipboard() && mime &&
                       mime->hasFormat(QStringLiteral("image/png"));
            },
            5000, "the clipboard to come back");
        watch.stop();

        worst << watch.meter.worst();
        // With the diagnostics log on, how the text went in.
        if (TovalitDebugLogger::isEnabled()) {
            TovalitDebugLogger::flush();
            QFile log(TovalitDebugLogger::logFilePath());
            if (log.open(QIODevice::ReadOnly)) {
                for (const QByteArray &line : log.readAll().split('\n')) {
                    if (line.contains("[insert."))
                        std::fprintf(stderr, "gui_stall: %s\n", line.constData());
                }
            }
        }
        std::fprintf(stderr, "gui_stall: dictation %lld: %s (final text: %s)\n",
                     static_cast<long long>(worst.size()), qPrintable(watch.meter.worst()),
                     qPrintable(controller.finalTranscript()));
    }
    state.counters["longest_stall_ms"] = watch.longest;
}
BENCHMARK(WholeDictationGuiStall)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

void FirstSessionReadWithASilentKeyringGuiStall(benchmark::State &state) {
    const std::unique_ptr<Desktop> desktop = desktopFor(state, Keyring::silent);
    if (!desktop)
        return;
    const TranscriberViewModel &controller = desktop->app->viewModel();
    StallWatch watch(controller);
    for (auto _ : state) {
        watch.meter.start();
        desktop->menuBar.toggleRecordingItem()->trigger();
        // The start reads the session, waits for the keyring, and gives up.
        const bool ended = pumpUntil(
            [&] {
                return controller.recordingState().is(RecordingState::Case::failed) ||
                       controller.recordingState().is(RecordingState::Case::recording);
            },
            180000, "the start to give up on the keyring");
        watch.stop();
        std::fprintf(stderr, "gui_stall: first session read, silent keyring: %s (ended: %s)\n",
                     qPrintable(watch.meter.worst()),
                     ended ? qPrintable(describe(controller.recordingState())) : "no");
    }
    state.counters["longest_stall_ms"] = watch.longest;
}
BENCHMARK(FirstSessionReadWithASilentKeyringGuiStall)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void SessionClipboardWithStalledPastesGuiStall(benchmark::State &state) {
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
        qEnvironmentVariable("XDG_CURRENT_DESKTOP") != u"KDE") {
        state.SkipWithError("needs KDE's Wayland session (scripts/lib/headless-wayland-session)");
        return;
    }
    static int argc = 1;
    static char name[] = "bench_gui_stall";
    static char *argv[] = {name, nullptr};
    QApplication application(argc, argv);
    // The clipboard as the application makes it.
    const std::shared_ptr<Pasteboard> pasteboard = makeLinuxInsertionPlatform().pasteboard;
    if (!dynamic_cast<WaylandSessionPasteboard *>(pasteboard.get())) {
        state.SkipWithError("the compositor offers no data control");
        return;
    }
    const QString copy = QString(u'长').repeated((4 << 20) / 3);
    PasteboardItem copied;
    copied.setString(copy);
    const PasteboardSnapshot users(QList<PasteboardItem>{copied});

    QString phase;
    StallMeter meter([&phase] { return phase; });
    double longest = 0;
    int failedWrites = 0;
    int copiesLost = 0;
    for (auto _ : state) {
        state.PauseTiming();
        users.writeBack(*pasteboard);
        std::vector<std::unique_ptr<support::StalledWaylandPaste>> stalled;
        for (int i = 0; i < 3; ++i)
            stalled.push_back(std::make_unique<support::StalledWaylandPaste>());
        // Before the fix the second and third wait behind the first.
        pumpUntil(
            [&] {
                return std::all_of(stalled.begin(), stalled.end(),
                                   [](const auto &paste) { return paste->receiving(); });
            },
            15000, "the pastes to be sent the first bytes");
        state.ResumeTiming();

        meter.start();
        phase = QStringLiteral("snapshot");
        const PasteboardSnapshot kept(support::runTask(pasteboard->pasteboardItems()));
        phase = QStringLiteral("write");
        PasteboardItem dictated;
        dictated.setString(QStringLiteral("会议定在下午三点。"));
        pasteboard->clearContents();
        const bool written = pasteboard->writeObjects({dictated});
        const qint64 afterWrite = pasteboard->changeCount();
        phase = QStringLiteral("paste");
        support::processEventsFor(std::chrono::milliseconds(320));
        phase = QStringLiteral("restore");
        if (pasteboard->changeCount() == afterWrite)
            kept.writeBack(*pasteboard);
        phase = QStringLiteral("after");
        support::processEventsFor(std::chrono::milliseconds(50));
        meter.stop();
        longest = std::max(longest, meter.longestMilliseconds());

        state.PauseTiming();
        const bool copyBack = support::WaylandClipboardClient::paste() == copy;
        failedWrites += written ? 0 : 1;
        copiesLost += copyBack ? 0 : 1;
        std::fprintf(stderr, "gui_stall: stalled pastes: %s (write %s, copy %s)\n",
                     qPrintable(meter.worst()), written ? "taken" : "failed",
                     copyBack ? "back" : "lost");
        stalled.clear();
        state.ResumeTiming();
    }
    state.counters["longest_stall_ms"] = longest;
    state.counters["failed_writes"] = failedWrites;
    state.counters["copies_lost"] = copiesLost;
}
BENCHMARK(SessionClipboardWithStalledPastesGuiStall)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace
