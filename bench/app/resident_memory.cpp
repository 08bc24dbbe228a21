// What the application holds while it sits in the status area, measured
// from outside on the real executable: it starts in the headless session
// with the gateway stand-in on loopback, a GTK editor comes to the front,
// and dictations run through the key combination with speech played into
// the virtual microphone. Prints the resident set after start, after the
// first, the fifth and the last dictation, how often each of the
// application's threads wakes up while it is idle, and the processor time
// the application takes at rest and through one long dictation (30 s of
// speech by default), for the whole process and per thread. Several builds
// can be measured one after the other in the same session, side by side:
//
//   bench/resident_memory --dictations 50
//       --app before=/elsewhere/build/src/tovalit --app after=build/src/tovalit
//
// With --perf FOLDER, `perf record` samples the application through the
// long dictation (FOLDER/LABEL-recording.perf, for `perf report -i`).
//
// Run by hand (bench/resident_memory starts the headless session); never
// part of the test suite.

#include "bench/app/application_under_test.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>

#include <csignal>
#include <cstdio>
#include <map>
#include <unistd.h>

namespace tovalit {
namespace {

struct Options {
    int dictations = 50;
    // Seconds after the start at which the first figure is taken.
    double startSeconds = 4;
    // Seconds the application is left alone after a dictation (its record
    // is in the history) before the figure is taken: by then the panels
    // have hidden and the heap has been trimmed, as it is at rest.
    double settleSeconds = 8;
    // Seconds over which wake-ups and processor time are counted at rest.
    double idleSeconds = 10;
    // Seconds of speech in the long dictation whose processor time is
    // measured; none when 0.
    double recordSeconds = 30;
    // Where `perf record` keeps its samples of the long dictation; no
    // profile when empty.
    QString perfFolder;
    std::vector<std::pair<QString, QString>> applications; // label, path
    // Where to keep a copy of /proc/PID/smaps at each figure, to tell what
    // the megabytes are; nowhere when empty.
    QString smapsFolder;
};

// Whole kilobytes of a field of /proc/PID/status; -1 when unreadable.
qint64 statusField(qint64 pid, QByteArrayView field) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field) && line.size() > field.size() && line[field.size()] == ':')
            return line.mid(field.size() + 1).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

struct MemoryFigure {
    double residentMB = -1;
    double anonymousMB = -1;
    int threads = 0;
};

MemoryFigure memoryOf(qint64 pid) {
    return {double(statusField(pid, "VmRSS")) / 1024, double(statusField(pid, "RssAnon")) / 1024,
            int(statusField(pid, "Threads"))};
}

// Every thread of the process by id: its name, the context switches it
// has made so far (each one a wake-up, voluntary or not) and the
// processor time it has had.
struct ThreadSample {
    QString name;
    qint64 switches = 0;
    qint64 cpuNanoseconds = 0;
};

// User and system time from a /proc stat line, in nanoseconds: the fields
// after the parenthesised name, utime being the 14th and stime the 15th.
qint64 statCpuNanoseconds(const QByteArray &line) {
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    const double ticks = fields.value(11).toDouble() + fields.value(12).toDouble();
    return qint64(ticks * 1e9 / double(sysconf(_SC_CLK_TCK)));
}

// A thread's time on a processor: schedstat counts it to the nanosecond;
// stat only in clock ticks, where schedstat is missing.
qint64 threadCpuNanoseconds(const QDir &task) {
    QFile schedstat(task.filePath(QStringLiteral("schedstat")));
    if (schedstat.open(QIODevice::ReadOnly))
        return schedstat.readAll().split(' ').value(0).toLongLong();
    QFile stat(task.filePath(QStringLiteral("stat")));
    return stat.open(QIODevice::ReadOnly) ? statCpuNanoseconds(stat.readAll()) : 0;
}

// The whole process's processor time, threads that have ended included.
qint64 processCpuNanoseconds(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    return stat.open(QIODevice::ReadOnly) ? statCpuNanoseconds(stat.readAll()) : 0;
}

std::map<qint64, ThreadSample> sampleThreads(qint64 pid) {
    std::map<qint64, ThreadSample> threads;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString &tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        ThreadSample sample;
        QFile comm(tasks.filePath(tid + QStringLiteral("/comm")));
        if (comm.open(QIODevice::ReadOnly))
            sample.name = QString::fromUtf8(comm.readAll().trimmed());
        const qint64 taskPid = tid.toLongLong();
        QFile status(tasks.filePath(tid + QStringLiteral("/status")));
        if (!status.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("voluntary_ctxt_switches:") ||
                line.startsWith("nonvoluntary_ctxt_switches:"))
                sample.switches += line.mid(line.indexOf(':') + 1).trimmed().toLongLong();
        }
        sample.cpuNanoseconds = threadCpuNanoseconds(QDir(tasks.filePath(tid)));
        threads[taskPid] = sample;
    }
    return threads;
}

// The process and its threads at one moment, with when it was taken.
struct ProcessSample {
    std::map<qint64, ThreadSample> threads;
    qint64 cpuNanoseconds = 0;
    QElapsedTimer taken;
};

ProcessSample sampleProcess(qint64 pid) {
    ProcessSample sample;
    sample.threads = sampleThreads(pid);
    sample.cpuNanoseconds = processCpuNanoseconds(pid);
    sample.taken.start();
    return sample;
}

struct ThreadWakeups {
    QString name;
    qint64 tid = 0;
    double perSecond = 0;
};

// Wake-ups per second of each thread over the interval, busiest first.
std::vector<ThreadWakeups> wakeupsBetween(const std::map<qint64, ThreadSample> &before,
                                          const std::map<qint64, ThreadSample> &after,
                                          double seconds) {
    std::vector<ThreadWakeups> result;
    for (const auto &[tid, sample] : after) {
        const auto earlier = before.find(tid);
        const qint64 from = earlier == before.end() ? 0 : earlier->second.switches;
        result.push_back({sample.name, tid, double(sample.switches - from) / seconds});
    }
    std::sort(result.begin(), result.end(), [](const ThreadWakeups &a, const ThreadWakeups &b) {
        return a.perSecond > b.perSecond;
    });
    return result;
}

using bench::idleFor;
using bench::waitFor;

struct ThreadCpu {
    QString name;
    qint64 tid = 0;
    double percent = 0;
};

// Processor time over an interval as a share of one core: the process's
// and each thread's (busiest first); threads born in the interval count
// from zero.
struct CpuFigure {
    double seconds = 0;
    double processPercent = -1;
    std::vector<ThreadCpu> threads;

    // The threads called `name` together; the GUI thread is the one whose
    // id is the process's.
    double percentOf(const QString &name) const {
        double sum = 0;
        for (const ThreadCpu &thread : threads) {
            if (thread.name == name)
                sum += thread.percent;
        }
        return sum;
    }
};

CpuFigure cpuSince(const ProcessSample &before, qint64 pid) {
    const ProcessSample after = sampleProcess(pid);
    CpuFigure figure;
    figure.seconds = double(before.taken.nsecsElapsed()) / 1e9;
    const double nanosecondsPerPercent = figure.seconds * 1e7;
    figure.processPercent =
        double(after.cpuNanoseconds - before.cpuNanoseconds) / nanosecondsPerPercent;
    for (const auto &[tid, sample] : after.threads) {
        const auto earlier = before.threads.find(tid);
        const qint64 from = earlier == before.threads.end() ? 0 : earlier->second.cpuNanoseconds;
        figure.threads.push_back({tid == pid ? QStringLiteral("GUI thread") : sample.name, tid,
                                  double(sample.cpuNanoseconds - from) / nanosecondsPerPercent});
    }
    std::sort(figure.threads.begin(), figure.threads.end(),
              [](const ThreadCpu &a, const ThreadCpu &b) { return a.percent > b.percent; });
    return figure;
}

struct RunResult {
    QString label;
    QString failure;
    MemoryFigure atStart;
    std::vector<MemoryFigure> afterDictation; // index 0: after the first
    std::vector<ThreadWakeups> wakeupsAtStart;
    std::vector<ThreadWakeups> wakeupsAtRest;
    CpuFigure cpuAtRest;
    CpuFigure cpuWhileRecording;
    std::vector<ThreadWakeups> wakeupsWhileRecording;
};

class Run {
public:
    Run(const Options &options, QString label, QString program, QString speech, QString longSpeech)
        : m_options(options)
        , m_application(std::move(program))
        , m_speech(std::move(speech))
        , m_longSpeech(std::move(longSpeech)) {
        m_result.label = std::move(label);
    }

    RunResult measure() {
        if (!startApplication())
            return m_result;
        const std::map<qint64, ThreadSample> startSample = sampleThreads(pid());
        idleFor(m_options.idleSeconds);
        m_result.wakeupsAtStart =
            wakeupsBetween(startSample, sampleThreads(pid()), m_options.idleSeconds);
        if (!m_application.startEditor()) {
            fail(m_application.failure());
            return m_result;
        }
        for (int index = 1; index <= m_options.dictations; ++index) {
            if (!dictate(index))
                return m_result;
            idleFor(m_options.settleSeconds);
            m_result.afterDictation.push_back(memoryOf(pid()));
            if (index == 1 || index == 5 || index == m_options.dictations)
                keepSmaps(QStringLiteral("dictation-%1").arg(index));
            std::fprintf(stderr, "  %s: dictation %d, %.1f MB\n", qPrintable(m_result.label), index,
                         m_result.afterDictation.back().residentMB);
        }
        const ProcessSample restSample = sampleProcess(pid());
        idleFor(m_options.idleSeconds);
        m_result.cpuAtRest = cpuSince(restSample, pid());
        m_result.wakeupsAtRest =
            wakeupsBetween(restSample.threads, sampleThreads(pid()), m_options.idleSeconds);
        if (m_options.recordSeconds > 0)
            recordLongDictation(m_options.dictations + 1);
        return m_result;
    }

private:
    qint64 pid() const { return m_application.pid(); }

    bool fail(QString why) {
        m_result.failure = std::move(why);
        std::fprintf(stderr, "  %s: %s\n", qPrintable(m_result.label),
                     qPrintable(m_result.failure));
        return false;
    }

    void keepSmaps(const QString &when) const {
        if (m_options.smapsFolder.isEmpty())
            return;
        QDir().mkpath(m_options.smapsFolder);
        QFile source(QStringLiteral("/proc/%1/smaps").arg(pid()));
        QFile copy(
            QDir(m_options.smapsFolder)
                .filePath(m_result.label + QLatin1Char('-') + when + QStringLiteral(".smaps")));
        if (source.open(QIODevice::ReadOnly) && copy.open(QIODevice::WriteOnly))
            copy.write(source.readAll());
    }

    bool startApplication() {
        QElapsedTimer sinceStart;
        sinceStart.start();
        if (!m_application.start())
            return fail(m_application.failure());
        idleFor(m_options.startSeconds - double(sinceStart.elapsed()) / 1000);
        m_result.atStart = memoryOf(pid());
        keepSmaps(QStringLiteral("start"));
        return true;
    }

    // One dictation as a user makes it: the shortcut, a spoken sentence,
    // the shortcut again, and the text in the editor's history record.
    bool dictate(int index) {
        return startDictation(index) && play(m_speech) && finishDictation(index);
    }

    // The shortcut, and the recording streaming to the recogniser.
    bool startDictation(int index) {
        if (!m_application.bringEditorForward())
            return fail(m_application.failure());
        testing::GatewayStandIn &gateway = m_application.gateway();
        const size_t connections = gateway.recogniser.handshakes().size();
        testing::xdotool({QStringLiteral("key"), bench::shortcutKeys});
        if (!waitFor(
                [&] {
                    return gateway.recogniser.handshakes().size() > connections &&
                           gateway.recogniser.isConnected();
                },
                15))
            return fail(QStringLiteral("dictation %1 never started streaming").arg(index));
        return true;
    }

    // Speech into the virtual microphone, to its end.
    bool play(const QString &speech) {
        QProcess player;
        player.start(QStringLiteral("paplay"),
                     {QStringLiteral("-d"), QStringLiteral("vsink"), speech});
        if (!waitFor([&] { return player.state() == QProcess::NotRunning; }, 60) ||
            player.exitCode() != 0)
            return fail(QStringLiteral("paplay failed"));
        return true;
    }

    // The shortcut again once the last words have streamed, and the
    // dictation's record in the history.
    bool finishDictation(int index) {
        // The monitor lags the sink: a few more frames keep the last word.
        testing::GatewayStandIn &gateway = m_application.gateway();
        const size_t tail = gateway.recogniser.binaryMessages().size() + 4;
        if (!waitFor([&] { return gateway.recogniser.binaryMessages().size() >= tail; }, 5))
            return fail(QStringLiteral("dictation %1 stopped streaming").arg(index));
        testing::xdotool({QStringLiteral("key"), bench::shortcutKeys});
        if (!waitFor([&] { return m_application.historyCount() >= index; }, 20))
            return fail(QStringLiteral("dictation %1 never reached the history").arg(index));
        return true;
    }

    // One dictation of recordSeconds of speech (the long text played over
    // and over), measured from the moment it streams to the end of the
    // speech: what a recording costs while it runs.
    bool recordLongDictation(int index) {
        if (!startDictation(index))
            return false;
        // From the first audio streamed on: the capture has started by then,
        // and the threads that started it have done their work.
        const size_t streamed = m_application.gateway().recogniser.binaryMessages().size();
        if (!waitFor(
                [&] {
                    return m_application.gateway().recogniser.binaryMessages().size() >
                           streamed + 2;
                },
                10))
            return fail(QStringLiteral("dictation %1 streamed no audio").arg(index));
        const ProcessSample recordingSample = sampleProcess(pid());
        QProcess profiler;
        if (!m_options.perfFolder.isEmpty())
            startProfiler(profiler);
        QElapsedTimer speaking;
        speaking.start();
        while (speaking.elapsed() < qint64(m_options.recordSeconds * 1000)) {
            if (!play(m_longSpeech))
                return false;
        }
        m_result.cpuWhileRecording = cpuSince(recordingSample, pid());
        m_result.wakeupsWhileRecording = wakeupsBetween(
            recordingSample.threads, sampleThreads(pid()), m_result.cpuWhileRecording.seconds);
        for (ThreadWakeups &thread : m_result.wakeupsWhileRecording) {
            if (thread.tid == pid())
                thread.name = QStringLiteral("GUI thread");
        }
        stopProfiler(profiler);
        std::fprintf(stderr, "  %s: %.0f s of speech recorded, %.2f %% of one core\n",
                     qPrintable(m_result.label), m_result.cpuWhileRecording.seconds,
                     m_result.cpuWhileRecording.processPercent);
        return finishDictation(index);
    }

    void startProfiler(QProcess &profiler) {
        QDir().mkpath(m_options.perfFolder);
        profiler.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        profiler.setStandardOutputFile(QProcess::nullDevice());
        profiler.start(QStringLiteral("perf"),
                       {QStringLiteral("record"), QStringLiteral("--call-graph"),
                        QStringLiteral("dwarf"), QStringLiteral("-F"), QStringLiteral("999"),
                        QStringLiteral("-p"), QString::number(pid()), QStringLiteral("-o"),
                        QDir(m_options.perfFolder)
                            .filePath(m_result.label + QStringLiteral("-recording.perf"))});
        if (!profiler.waitForStarted(5000))
            std::fprintf(stderr, "  %s: perf did not start\n", qPrintable(m_result.label));
    }

    static void stopProfiler(QProcess &profiler) {
        if (profiler.state() == QProcess::NotRunning)
            return;
        // perf writes its file out on an interrupt, as after Ctrl+C.
        ::kill(pid_t(profiler.processId()), SIGINT);
        if (!profiler.waitForFinished(60000))
            bench::stopProcess(profiler);
    }

    const Options &m_options;
    bench::ApplicationUnderTest m_application;
    const QString m_speech;
    const QString m_longSpeech;
    RunResult m_result;
};

QString megabytes(double value) {
    return value < 0 ? QStringLiteral("-") : QString::number(value, 'f', 1);
}

QString percent(double value) {
    return value < 0 ? QStringLiteral("-") : QString::number(value, 'f', 2);
}

QString busiest(const std::vector<ThreadWakeups> &threads) {
    if (threads.empty())
        return QStringLiteral("-");
    return QString::number(threads.front().perSecond, 'f', 1) + QStringLiteral(" (") +
           threads.front().name + QLatin1Char(')');
}

void printRow(const QString &title, const std::vector<QString> &cells) {
    std::printf("%-44s", qPrintable(title));
    for (const QString &cell : cells)
        std::printf("  %22s", qPrintable(cell));
    std::printf("\n");
}

void printResults(const Options &options, const std::vector<RunResult> &results) {
    std::vector<QString> header;
    for (const RunResult &result : results)
        header.push_back(result.label);
    std::printf("\n");
    printRow(QStringLiteral("resident memory, MB"), header);
    const auto row = [&](const QString &title,
                         const std::function<QString(const RunResult &)> &cell) {
        std::vector<QString> cells;
        for (const RunResult &result : results)
            cells.push_back(cell(result));
        printRow(title, cells);
    };
    const auto after = [](const RunResult &result, int count) -> const MemoryFigure * {
        return int(result.afterDictation.size()) >= count ? &result.afterDictation[count - 1]
                                                          : nullptr;
    };
    const auto rss = [](const MemoryFigure *figure) {
        return figure ? megabytes(figure->residentMB) + QStringLiteral(" (anon ") +
                            megabytes(figure->anonymousMB) + QLatin1Char(')')
                      : QStringLiteral("-");
    };
    row(QStringLiteral("RSS %1 s after start").arg(options.startSeconds),
        [&](const RunResult &r) { return rss(&r.atStart); });
    std::vector<int> counts{1};
    for (int count : {5, options.dictations}) {
        if (count > counts.back() && count <= options.dictations)
            counts.push_back(count);
    }
    for (int count : counts) {
        row(QStringLiteral("RSS after dictation %1").arg(count),
            [&](const RunResult &r) { return rss(after(r, count)); });
    }
    if (options.dictations > 5) {
        row(QStringLiteral("growth, dictation 5 to %1").arg(options.dictations),
            [&](const RunResult &r) {
                const MemoryFigure *fifth = after(r, 5);
                const MemoryFigure *last = after(r, options.dictations);
                return fifth && last
                           ? QString::asprintf("%+.1f", last->residentMB - fifth->residentMB)
                           : QStringLiteral("-");
            });
    }
    row(QStringLiteral("threads at rest"), [&](const RunResult &r) {
        const MemoryFigure *last = after(r, options.dictations);
        return last ? QString::number(last->threads) : QStringLiteral("-");
    });
    row(QStringLiteral("wake-ups/s after start, busiest thread"),
        [](const RunResult &r) { return busiest(r.wakeupsAtStart); });
    row(QStringLiteral("wake-ups/s at rest, busiest thread"),
        [](const RunResult &r) { return busiest(r.wakeupsAtRest); });
    row(QStringLiteral("CPU at rest, % of one core"),
        [](const RunResult &r) { return percent(r.cpuAtRest.processPercent); });
    if (options.recordSeconds > 0) {
        row(QStringLiteral("CPU recording %1 s, % of one core").arg(options.recordSeconds),
            [](const RunResult &r) {
                const double share = r.cpuWhileRecording.processPercent;
                return share < 0
                           ? QStringLiteral("-")
                           : percent(share) + QStringLiteral(" (") +
                                 QString::number(share * 0.6, 'f', 2) + QStringLiteral(" s/min)");
            });
        // The threads a recording runs on; the rest is everything else the
        // process did meanwhile.
        const std::vector<std::pair<QString, QString>> threads{
            {QStringLiteral("  audio thread"), QStringLiteral("tovalit-audio")},
            {QStringLiteral("  GUI thread"), QStringLiteral("GUI thread")},
            {QStringLiteral("  streaming thread"), QStringLiteral("tovalit-asr")}};
        for (const auto &[title, name] : threads) {
            row(title, [&name = name](const RunResult &r) {
                return r.cpuWhileRecording.processPercent < 0
                           ? QStringLiteral("-")
                           : percent(r.cpuWhileRecording.percentOf(name));
            });
        }
        // How often each of them woke meanwhile: each wake-up has a cost of
        // its own, whatever it then does.
        for (const auto &[title, name] : threads) {
            row(title + QStringLiteral(", wake-ups/s"), [&name = name](const RunResult &r) {
                double perSecond = -1;
                for (const ThreadWakeups &thread : r.wakeupsWhileRecording) {
                    if (thread.name == name)
                        perSecond = std::max(perSecond, 0.0) + thread.perSecond;
                }
                return perSecond < 0 ? QStringLiteral("-") : QString::number(perSecond, 'f', 1);
            });
        }
        row(QStringLiteral("  other threads"), [&threads](const RunResult &r) {
            const CpuFigure &figure = r.cpuWhileRecording;
            if (figure.processPercent < 0)
                return QStringLiteral("-");
            double rest = figure.processPercent;
            for (const auto &thread : threads)
                rest -= figure.percentOf(thread.second);
            return percent(rest);
        });
    }

    for (const RunResult &result : results) {
        std::printf("\n%s", qPrintable(result.label));
        if (!result.failure.isEmpty())
            std::printf(": FAILED: %s", qPrintable(result.failure));
        std::printf("\n  RSS after each dictation:");
        for (const MemoryFigure &figure : result.afterDictation)
            std::printf(" %.1f", figure.residentMB);
        // Every thread, with how often it woke.
        const auto list = [](const char *title, const std::vector<ThreadWakeups> &threads) {
            std::printf("\n  %zu threads, wake-ups/s %s:", threads.size(), title);
            for (const ThreadWakeups &thread : threads)
                std::printf(" %s [%lld] %.1f;", qPrintable(thread.name),
                            static_cast<long long>(thread.tid), thread.perSecond);
        };
        list("after start", result.wakeupsAtStart);
        list("at rest", result.wakeupsAtRest);
        if (result.cpuWhileRecording.processPercent >= 0) {
            std::printf("\n  CPU %% of one core while recording, by thread:");
            for (const ThreadCpu &thread : result.cpuWhileRecording.threads) {
                if (thread.percent >= 0.005)
                    std::printf(" %s [%lld] %.2f;", qPrintable(thread.name),
                                static_cast<long long>(thread.tid), thread.percent);
            }
        }
        std::printf("\n");
    }
}

bool parse(const QStringList &arguments, Options &options) {
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        const QString value = arguments.value(i + 1);
        bool ok = true;
        if (argument == u"--dictations")
            options.dictations = value.toInt(&ok);
        else if (argument == u"--settle-seconds")
            options.settleSeconds = value.toDouble(&ok);
        else if (argument == u"--idle-seconds")
            options.idleSeconds = value.toDouble(&ok);
        else if (argument == u"--record-seconds")
            options.recordSeconds = value.toDouble(&ok);
        else if (argument == u"--perf" && !value.isEmpty())
            options.perfFolder = QFileInfo(value).absoluteFilePath();
        else if (argument == u"--smaps" && !value.isEmpty())
            options.smapsFolder = QFileInfo(value).absoluteFilePath();
        else if (argument == u"--app" && value.contains(QLatin1Char('=')))
            options.applications.emplace_back(value.section(QLatin1Char('='), 0, 0),
                                              value.section(QLatin1Char('='), 1));
        else
            return false;
        if (!ok)
            return false;
        ++i;
    }
    return options.dictations >= 1 && options.settleSeconds >= 0 && options.idleSeconds > 0 &&
           options.recordSeconds >= 0;
}

int run(int argc, char *argv[]) {
    QCoreApplication application(argc, argv);
    Options options;
    if (!parse(QCoreApplication::arguments(), options)) {
        std::fprintf(stderr,
                     "usage: %s [--dictations N] [--settle-seconds S] [--idle-seconds S] "
                     "[--record-seconds S] [--smaps FOLDER] [--perf FOLDER] "
                     "[--app LABEL=PATH]...\n",
                     argv[0]);
        return 2;
    }
    if (options.applications.empty())
        options.applications.emplace_back(QStringLiteral("this build"),
                                          QCoreApplication::applicationDirPath() +
                                              QStringLiteral("/../src/tovalit"));
    if (!bench::sessionIsReady())
        return 2;
    QTemporaryDir scratch;
    const QString speech = scratch.filePath(QStringLiteral("speech.wav"));
    if (const auto error =
            testing::synthesizeSpeech(QStringLiteral("Meeting at three this afternoon."), speech,
                                      {QStringLiteral("-s"), QStringLiteral("170")})) {
        std::fprintf(stderr, "%s\n", qPrintable(*error));
        return 2;
    }
    // The long dictation's speech: a few sentences, spoken over and over.
    const QString longSpeech = scratch.filePath(QStringLiteral("long-speech.wav"));
    if (const auto error = testing::synthesizeSpeech(
            QStringLiteral("The quarterly review moves to Thursday morning. Please send the "
                           "figures for the northern region before noon, and bring the draft "
                           "of the travel policy. We will also decide who takes over the "
                           "supplier contracts while the team lead is away in October."),
            longSpeech, {QStringLiteral("-s"), QStringLiteral("160")})) {
        std::fprintf(stderr, "%s\n", qPrintable(*error));
        return 2;
    }

    std::vector<RunResult> results;
    for (const auto &[label, program] : options.applications) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(label), qPrintable(program));
        Run run(options, label, QFileInfo(program).absoluteFilePath(), speech, longSpeech);
        results.push_back(run.measure());
    }
    printResults(options, results);
    const bool allPassed = std::all_of(results.begin(), results.end(),
                                       [](const RunResult &r) { return r.failure.isEmpty(); });
    return allPassed ? 0 : 1;
}

} // namespace
} // namespace tovalit

int main(int argc, char *argv[]) {
    return tovalit::run(argc, argv);
}
