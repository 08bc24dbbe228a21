// Tovalit ended abruptly mid-dictation, then started again, as a user meets
// it after a crash, a power loss or a session end that kills the process:
// the real executable in the headless session against the gateway
// stand-in, speech played into the virtual microphone, and SIGKILL at one
// of three moments:
//
//   dictation   about three seconds into the speech;
//   formatting  once the recogniser has the whole text and the language
//               model has the formatting call, which it never answers;
//   meeting     83 seconds in, after the recording has become a meeting.
//
// After each, the application starts again on the same folders; the screen
// (the notice, then the history page) is kept as pictures, and the history
// file and the folders are printed, to be looked at by hand:
//
//   bench/crash_run --out /tmp/crash-run [--only dictation|formatting|meeting]
//
// Run by hand (bench/crash_run starts the headless session); never part of
// the test suite.

#include "bench/app/application_under_test.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPoint>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

namespace tovalit {
namespace {

using bench::idleFor;
using bench::waitFor;

// What the speech says, as the recogniser hears it: at a speaking pace.
const QString spoken =
    QStringLiteral("明天下午三点在三号会议室开项目周会，请大家提前准备好本周的进展和下周的计划。"
                   "会上先过一遍上线前的检查清单，再讨论客户反馈的问题。");
constexpr double charactersPerSecond = 3.0;

// The main window's history page, from the window's corner.
constexpr QPoint historyPage{72, 198};

const QString tickPromptMarker = QStringLiteral("会议实时总结助手");

class CrashRun {
public:
    CrashRun(QString program, QString out, QString speech, QString scenario)
        : m_application(std::move(program))
        , m_out(QDir(out).filePath(scenario))
        , m_speech(std::move(speech))
        , m_scenario(std::move(scenario)) {
        testing::GatewayStandIn &gateway = m_application.gateway();
        if (m_scenario == u"formatting") {
            gateway.leaveFormattingUnanswered();
        } else {
            gateway.hear([this](qint32) {
                if (!m_speaking.isValid())
                    m_speaking.start();
                return spoken.left(
                    qsizetype(double(m_speaking.elapsed()) / 1000 * charactersPerSecond));
            });
        }
        gateway.answerChatsMarked(tickPromptMarker, [](const QJsonObject &) {
            return QString::fromUtf8(
                QJsonDocument(
                    QJsonObject{{QStringLiteral("text"),
                                 QStringLiteral("[阶段] 项目周会\n"
                                                "[文本模块] 安排 => 明天下午三点开周会")}})
                    .toJson());
        });
    }

    ~CrashRun() { bench::stopProcess(m_player); }

    bool run() {
        QDir(m_out).removeRecursively();
        QDir().mkpath(m_out);
        if (!m_application.start() || !m_application.startEditor())
            return fail(m_application.failure());
        testing::GatewayStandIn &gateway = m_application.gateway();
        testing::xdotool({QStringLiteral("key"), bench::shortcutKeys});
        if (!waitFor([&] { return gateway.recogniser.isConnected(); }, 15))
            return fail(QStringLiteral("the recording never started streaming"));
        m_recording.start();
        log(QStringLiteral("recording"));

        if (m_scenario == u"dictation") {
            until(3.2);
        } else if (m_scenario == u"formatting") {
            until(3.5);
            bench::stopProcess(m_player);
            testing::xdotool({QStringLiteral("key"), bench::shortcutKeys});
            log(QStringLiteral("stop pressed"));
            if (!waitFor([&] { return !gateway.formattingRequests().empty(); }, 30))
                return fail(QStringLiteral("the formatting call never came"));
            log(QStringLiteral("the language model has the formatting call"));
            idleFor(1.0);
        } else {
            until(83);
        }
        screenshot(QStringLiteral("1-before-the-kill"));
        m_application.killAbruptly();
        bench::stopProcess(m_player);
        log(QStringLiteral("killed"));
        listFolders(QStringLiteral("after the kill"));

        if (!m_application.start())
            return fail(m_application.failure());
        log(QStringLiteral("started again"));
        idleFor(1.5);
        screenshot(QStringLiteral("2-after-the-start"));
        if (!m_application.showMainWindow())
            return fail(m_application.failure());
        if (const quint64 main =
                bench::windowOf(m_application.pid(), QStringLiteral("^Tovalit$"))) {
            click(main, historyPage);
            idleFor(2);
            screenshot(QStringLiteral("3-history-page"));
        }
        listFolders(QStringLiteral("after the start"));
        printHistory();
        keepDataFolder();
        return m_application.historyCount() == 1;
    }

private:
    void log(const QString &what) const {
        const double at = m_recording.isValid() ? double(m_recording.elapsed()) / 1000 : 0;
        std::fprintf(stderr, "  [%s %6.1f s] %s\n", qPrintable(m_scenario), at, qPrintable(what));
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

    void screenshot(const QString &name) {
        const QString path = QDir(m_out).filePath(name + QStringLiteral(".png"));
        QProcess grab;
        grab.start(QStringLiteral("ffmpeg"),
                   {QStringLiteral("-loglevel"), QStringLiteral("error"), QStringLiteral("-y"),
                    QStringLiteral("-f"), QStringLiteral("x11grab"), QStringLiteral("-i"),
                    qEnvironmentVariable("DISPLAY"), QStringLiteral("-frames:v"),
                    QStringLiteral("1"), path});
        waitFor([&] { return grab.state() == QProcess::NotRunning; }, 15);
        log(QStringLiteral("screenshot ") + path);
    }

    void listFolders(const QString &when) const {
        std::printf("[%s] %s:\n", qPrintable(m_scenario), qPrintable(when));
        const QDir data(m_application.dataFolder());
        for (const QString &folder : {QStringLiteral("recordings"), QStringLiteral("transcripts"),
                                      QStringLiteral("unfinished")}) {
            const QFileInfoList entries = QDir(data.filePath(folder)).entryInfoList(QDir::Files);
            for (const QFileInfo &entry : entries)
                std::printf("  %s/%s  %lld bytes\n", qPrintable(folder),
                            qPrintable(entry.fileName()), entry.size());
        }
    }

    void printHistory() const {
        QFile file(QDir(m_application.dataFolder()).filePath(QStringLiteral("history.json")));
        std::printf("[%s] history.json:\n%s\n", qPrintable(m_scenario),
                    file.open(QIODevice::ReadOnly) ? file.readAll().constData() : "(none)");
        QDirIterator transcripts(
            QDir(m_application.dataFolder()).filePath(QStringLiteral("transcripts")), QDir::Files);
        while (transcripts.hasNext()) {
            QFile transcript(transcripts.next());
            if (transcript.open(QIODevice::ReadOnly))
                std::printf("[%s] %s:\n%s\n", qPrintable(m_scenario),
                            qPrintable(transcript.fileName()), transcript.readAll().constData());
        }
    }

    void keepDataFolder() const {
        const QDir source(m_application.dataFolder());
        QDir target(QDir(m_out).filePath(QStringLiteral("data")));
        QDirIterator files(source.path(), QDir::Files, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QString from = files.next();
            const QString to = target.filePath(source.relativeFilePath(from));
            QDir().mkpath(QFileInfo(to).path());
            QFile::copy(from, to);
        }
    }

    bench::ApplicationUnderTest m_application;
    const QString m_out;
    const QString m_speech;
    const QString m_scenario;
    QProcess m_player;
    QElapsedTimer m_recording;
    QElapsedTimer m_speaking;
};

int run(int argc, char *argv[]) {
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    QString out = QStringLiteral("/tmp/crash-run");
    QString program = QCoreApplication::applicationDirPath() + QStringLiteral("/../src/tovalit");
    QStringList scenarios{QStringLiteral("dictation"), QStringLiteral("formatting"),
                          QStringLiteral("meeting")};
    for (qsizetype i = 1; i + 1 < arguments.size(); i += 2) {
        if (arguments[i] == u"--out")
            out = QFileInfo(arguments[i + 1]).absoluteFilePath();
        else if (arguments[i] == u"--app")
            program = arguments[i + 1];
        else if (arguments[i] == u"--only")
            scenarios = {arguments[i + 1]};
    }
    if (arguments.size() % 2 == 0) {
        std::fprintf(
            stderr, "usage: %s [--out FOLDER] [--app PATH] [--only dictation|formatting|meeting]\n",
            argv[0]);
        return 2;
    }
    if (!bench::sessionIsReady())
        return 2;
    QTemporaryDir scratch;
    const QString speech = scratch.filePath(QStringLiteral("speech.wav"));
    if (const auto error = testing::synthesizeSpeech(
            QStringLiteral("Tomorrow at three we meet in room three for the weekly project "
                           "meeting. Please bring this week's progress and next week's plan."),
            speech, {QStringLiteral("-s"), QStringLiteral("150")})) {
        std::fprintf(stderr, "%s\n", qPrintable(*error));
        return 2;
    }
    bool allFiled = true;
    for (const QString &scenario : scenarios) {
        CrashRun run(QFileInfo(program).absoluteFilePath(), out, speech, scenario);
        const bool filed = run.run();
        std::printf("[%s] %s\n", qPrintable(scenario),
                    filed ? "one record after the start" : "NOT one record after the start");
        allFiled = allFiled && filed;
    }
    return allFiled ? 0 : 1;
}

} // namespace
} // namespace tovalit

int main(int argc, char *argv[]) {
    return tovalit::run(argc, argv);
}
