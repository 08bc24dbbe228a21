// A whole meeting through the real executable, as a user sees it: the
// application starts in the headless session with the gateway stand-in on
// loopback, the key combination starts a recording while speech plays into
// the virtual microphone, and the recogniser hears a meeting whose
// transcript keeps growing. Past the threshold the countdown shows, the
// recording becomes a meeting, the summary ticks answer with stages, and
// the second press of the key combination ends it with minutes. A
// screenshot of the screen is kept at each of those moments, and the
// application's data folder is copied beside them at the end, to be looked
// at by hand:
//
//   bench/meeting_run --out /tmp/meeting-run
//
// Run by hand (bench/meeting_run starts the headless session); never part
// of the test suite. It takes about two and a half minutes, since the
// application runs with its own timings.

#include "bench/app/application_under_test.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPoint>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

namespace tovalit {
namespace {

using bench::idleFor;
using bench::waitFor;

// What the meeting says, sentence after sentence; the recogniser hears it
// at a speaking pace.
const QStringList meetingScript{
    QStringLiteral("我们先看一下这个季度的目标，主要是长录音的整理效率。"),
    QStringLiteral("纪要最好在会议结束后一分钟内出来，不然大家就不看了。"),
    QStringLiteral("覆盖的场景先限定在周会和评审，其他会议以后再说。"),
    QStringLiteral("准确率方面，术语的错误率要压到百分之二以下。"),
    QStringLiteral("词库那边需要先把各组常用的术语收集上来。"),
    QStringLiteral("接下来说一下分段的问题，现在是按时间切的。"),
    QStringLiteral("按时间切很简单，但是经常把一个话题截成两半。"),
    QStringLiteral("我倾向按话题切分，同时保留一个时间上的兜底。"),
    QStringLiteral("按话题切需要模型判断转折点，成本会高一些。"),
    QStringLiteral("那就先在内部试用两周，看看切分的效果再定。"),
    QStringLiteral("最后是排期，三月做原型，四月内测，五月发布。"),
    QStringLiteral("好，今天就先到这里，纪要会后发给大家。"),
};

// Characters heard per second: the script lasts the whole meeting.
constexpr double charactersPerSecond = 1.6;

// The stages the summary ticks answer with, in order: the first opens a
// stage, the second continues it, the third opens another. Ticks after
// those have nothing to add.
const QStringList tickAnswers{
    QStringLiteral("[阶段] 长录音整理的目标\n"
                   "[文本模块] 核心判断 => 本季度先解决长录音的整理效率，纪要要在会后一分钟内生成，"
                   "否则失去时效。\n"
                   "[图文模块] 多卡片|关键指标 => 生成时延::会后一分钟内 || 覆盖场景::周会与评审"),
    QStringLiteral("[阶段] 长录音整理的目标\n"
                   "[文本模块] 质量约束 => 术语错误率要低于百分之二，词库需先收集各组常用术语。\n"
                   "[图文模块] 多卡片|关键指标 => 准确率::术语错误率低于2%"),
    QStringLiteral("[阶段] 分段策略的取舍\n"
                   "[文本模块] 方案判断 => 按话题切分更贴近讨论结构，但要保留时间兜底，"
                   "先内部试用两周再定。\n"
                   "[图文模块] 前后对比|分段策略 => 按时间切分::简单但会截断话题 || "
                   "按话题切分::更贴近讨论结构"),
};

const QString minutesAnswer = QStringLiteral("## 会议概览\n"
                                             "讨论本季度长录音整理的目标、分段策略与排期。\n\n"
                                             "## 结论与决策\n"
                                             "- 纪要在会后一分钟内生成，先覆盖周会与评审\n"
                                             "- 分段倾向按话题切分，保留时间兜底\n\n"
                                             "## 待办事项\n"
                                             "- [ ] 收集各组常用术语\n"
                                             "- [ ] 内部试用按话题切分两周");

// Where the panel's tabs and the main window's history page are, from
// their windows' corners, as the 1280 × 800 screen shows them.
constexpr QPoint rawTranscriptTab{188, 67};
constexpr QPoint timelineTab{108, 67};
constexpr QPoint historyPage{72, 198};

const QString meetingPanelTitle = QStringLiteral("^Tovalit HUD");

// Markers of the two system prompts a meeting sends.
const QString tickPromptMarker = QStringLiteral("会议实时总结助手");
const QString minutesPromptMarker = QStringLiteral("你是会议纪要助手");

QString meetingTranscriptAfter(double seconds) {
    const QString whole = meetingScript.join(QString());
    return whole.left(qsizetype(seconds * charactersPerSecond));
}

class MeetingRun {
public:
    MeetingRun(QString program, QString outFolder, QString speech)
        : m_application(std::move(program))
        , m_out(std::move(outFolder))
        , m_speech(std::move(speech)) {
        testing::GatewayStandIn &gateway = m_application.gateway();
        gateway.hear([this](qint32) {
            if (!m_speaking.isValid())
                m_speaking.start();
            return meetingTranscriptAfter(double(m_speaking.elapsed()) / 1000);
        });
        gateway.answerChatsMarked(tickPromptMarker, [this](const QJsonObject &) {
            const QString answer =
                m_ticks < tickAnswers.size() ? tickAnswers[m_ticks] : QStringLiteral("[不新增]");
            ++m_ticks;
            log(QStringLiteral("summary tick %1 answered").arg(m_ticks));
            return QString::fromUtf8(
                QJsonDocument(QJsonObject{{QStringLiteral("text"), answer}}).toJson());
        });
        gateway.answerChatsMarked(minutesPromptMarker, [this](const QJsonObject &) {
            ++m_minutes;
            log(QStringLiteral("minutes answered"));
            return minutesAnswer;
        });
    }

    ~MeetingRun() { bench::stopProcess(m_player); }

    bool run() {
        QDir().mkpath(m_out);
        if (!m_application.start())
            return fail(m_application.failure());
        if (!m_application.startEditor())
            return fail(m_application.failure());
        testing::GatewayStandIn &gateway = m_application.gateway();
        testing::xdotool({QStringLiteral("key"), bench::shortcutKeys});
        if (!waitFor([&] { return gateway.recogniser.isConnected(); }, 15))
            return fail(QStringLiteral("the recording never started streaming"));
        m_recording.start();
        log(QStringLiteral("recording"));
        speakOn();

        // The countdown shows from the 60th second until entry at the 70th.
        until(62);
        if (!screenshot(QStringLiteral("1-countdown")))
            return false;
        until(67);
        if (!screenshot(QStringLiteral("2-countdown-later")))
            return false;
        for (int tick = 1; tick <= int(tickAnswers.size()); ++tick) {
            if (!waitFor(
                    [&] {
                        speakOn();
                        return m_ticks >= tick;
                    },
                    60))
                return fail(QStringLiteral("summary tick %1 never came").arg(tick));
            idleFor(2);
            if (!screenshot(QStringLiteral("%1-after-tick-%2").arg(tick + 2).arg(tick)))
                return false;
        }

        // The raw transcript tab of the panel, then back to the timeline.
        if (const quint64 panel = bench::windowOf(m_application.pid(), meetingPanelTitle)) {
            click(panel, rawTranscriptTab);
            idleFor(1.5);
            screenshot(QStringLiteral("5b-raw-transcript-tab"));
            click(panel, timelineTab);
            idleFor(0.5);
        } else {
            log(QStringLiteral("no meeting panel window found"));
        }

        bench::stopProcess(m_player);
        testing::xdotool({QStringLiteral("key"), bench::shortcutKeys});
        log(QStringLiteral("stop pressed"));
        idleFor(0.8);
        screenshot(QStringLiteral("6-right-after-stop"));
        if (!waitFor([&] { return m_application.historyCount() >= 1; }, 60))
            return fail(QStringLiteral("the meeting never reached the history"));
        log(QStringLiteral("history record written"));
        idleFor(1.5);
        screenshot(QStringLiteral("7-minutes"));
        idleFor(6);
        screenshot(QStringLiteral("8-later"));
        m_application.showMainWindow();
        idleFor(2);
        screenshot(QStringLiteral("9-main-window"));
        if (const quint64 main =
                bench::windowOf(m_application.pid(), QStringLiteral("^Tovalit$"))) {
            click(main, historyPage);
            idleFor(2);
            screenshot(QStringLiteral("10-history-page"));
        }
        keepDataFolder();
        std::printf("summary ticks answered: %d, minutes answered: %d, screenshots in %s\n",
                    m_ticks, m_minutes, qPrintable(m_out));
        return m_minutes == 1;
    }

private:
    void log(const QString &what) const {
        const double at = m_recording.isValid() ? double(m_recording.elapsed()) / 1000 : 0;
        std::fprintf(stderr, "  [%6.1f s] %s\n", at, qPrintable(what));
    }

    bool fail(const QString &why) {
        log(QStringLiteral("FAILED: ") + why);
        return false;
    }

    void click(quint64 window, QPoint at) const {
        testing::xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"),
                          QString::number(window), QString::number(at.x()),
                          QString::number(at.y())});
        testing::xdotool({QStringLiteral("click"), QStringLiteral("1")});
    }

    // Keeps speech playing into the microphone for as long as the
    // recording runs: one sentence after another.
    void speakOn() {
        if (m_player.state() == QProcess::NotRunning)
            m_player.start(QStringLiteral("paplay"),
                           {QStringLiteral("-d"), QStringLiteral("vsink"), m_speech});
    }

    // Runs until `seconds` into the recording, speaking meanwhile.
    void until(double seconds) {
        waitFor(
            [&] {
                speakOn();
                return double(m_recording.elapsed()) / 1000 >= seconds;
            },
            seconds + 1);
    }

    bool screenshot(const QString &name) {
        const QString path = QDir(m_out).filePath(name + QStringLiteral(".png"));
        QProcess grab;
        grab.start(QStringLiteral("ffmpeg"),
                   {QStringLiteral("-loglevel"), QStringLiteral("error"), QStringLiteral("-y"),
                    QStringLiteral("-f"), QStringLiteral("x11grab"), QStringLiteral("-i"),
                    qEnvironmentVariable("DISPLAY"), QStringLiteral("-frames:v"),
                    QStringLiteral("1"), path});
        if (!waitFor([&] { return grab.state() == QProcess::NotRunning; }, 15) ||
            grab.exitCode() != 0)
            return fail(QStringLiteral("no screenshot ") + name);
        log(QStringLiteral("screenshot ") + path);
        return true;
    }

    // Everything the application wrote (history, recordings, the meeting
    // log among its diagnostics), as it was at the end.
    void keepDataFolder() const {
        const QDir source(m_application.dataFolder());
        QDir target(QDir(m_out).filePath(QStringLiteral("data")));
        target.removeRecursively();
        QDirIterator files(source.path(), QDir::Files, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QString from = files.next();
            const QString to = target.filePath(source.relativeFilePath(from));
            QDir().mkpath(QFileInfo(to).path());
            QFile::copy(from, to);
            std::printf("kept %s\n", qPrintable(to));
        }
    }

    bench::ApplicationUnderTest m_application;
    const QString m_out;
    const QString m_speech;
    QProcess m_player;
    QElapsedTimer m_recording;
    QElapsedTimer m_speaking;
    int m_ticks = 0;
    int m_minutes = 0;
};

int run(int argc, char *argv[]) {
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    QString out = QStringLiteral("/tmp/meeting-run");
    QString program = QCoreApplication::applicationDirPath() + QStringLiteral("/../src/tovalit");
    for (qsizetype i = 1; i + 1 < arguments.size(); i += 2) {
        if (arguments[i] == u"--out")
            out = QFileInfo(arguments[i + 1]).absoluteFilePath();
        else if (arguments[i] == u"--app")
            program = arguments[i + 1];
    }
    if (arguments.size() % 2 == 0) {
        std::fprintf(stderr, "usage: %s [--out FOLDER] [--app PATH]\n", argv[0]);
        return 2;
    }
    if (!bench::sessionIsReady())
        return 2;
    QTemporaryDir scratch;
    const QString speech = scratch.filePath(QStringLiteral("speech.wav"));
    if (const auto error = testing::synthesizeSpeech(
            QStringLiteral("We look at the goals of this quarter. Minutes should be ready within "
                           "a minute after the meeting."),
            speech, {QStringLiteral("-s"), QStringLiteral("150")})) {
        std::fprintf(stderr, "%s\n", qPrintable(*error));
        return 2;
    }
    MeetingRun run(QFileInfo(program).absoluteFilePath(), out, speech);
    return run.run() ? 0 : 1;
}

} // namespace
} // namespace tovalit

int main(int argc, char *argv[]) {
    return tovalit::run(argc, argv);
}
