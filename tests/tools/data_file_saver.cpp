// Saves data files the way the application does, for tests that kill it.
//
//   data_file_saver <kind> <folder>
//     kind: lexicon, instructions, history or settings. For every line
//     "<first version> <delay in microseconds>" on standard input, forks a
//     saver that writes version after version of that kind of file into
//     <folder> through the application's own store, kills it with SIGKILL
//     the delay after its first save began and answers "<last version
//     saved, or first - 1>" on standard output. A negative delay asks for
//     the kill inside a save, however slow the machine: the saver is
//     stopped once a temporary of an unfinished save is in <folder> or a
//     folder in it, and killed while that temporary is still there. Forking from this small process
//     keeps each round cheap: no new program to load.
//
//   data_file_saver record <folder>
//     Records the default sound input into <folder> until killed, printing
//     "recording" once started, then "frames <n>" after every captured
//     buffer.

#include "platform/linux/ini_defaults_store.h"
#include "platform/linux/pulse_audio_input.h"
#include "services/capture/audio_capture_service.h"
#include "services/history/history_store.h"
#include "services/instructions/instruction_library_store.h"
#include "services/lexicon/personal_lexicon_store.h"
#include "support/atomic_file.h"
#include "tests/support/saved_versions.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <qcoro/qcorotask.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <exception>
#include <limits>
#include <sys/wait.h>
#include <unistd.h>

using namespace tovalit;
namespace versions = tovalit::testing::savedversions;

namespace {

// Sent once the store is set up and the first save begins: the delay of a
// kill counts from there.
constexpr int savingStarts = std::numeric_limits<int>::min();

void report(int fd, int version) {
    if (::write(fd, &version, sizeof version) != sizeof version)
        std::_Exit(3);
}

template <typename T>
T await(QCoro::Task<T> task) {
    return QCoro::waitFor(std::move(task));
}

[[noreturn]] void saveForever(const QString &kind, const QString &folder, int version, int fd) {
    if (kind == u"lexicon") {
        PersonalLexiconStore store(folder);
        report(fd, savingStarts);
        for (;; ++version) {
            await(store.saveSnapshot(versions::lexicon(version)));
            report(fd, version);
        }
    } else if (kind == u"instructions") {
        InstructionLibraryStore store(folder);
        report(fd, savingStarts);
        for (;; ++version) {
            await(store.saveSnapshot(versions::instructions(version)));
            report(fd, version);
        }
    } else if (kind == u"history") {
        HistoryStore store(folder);
        report(fd, savingStarts);
        for (;; ++version) {
            await(store.append(versions::historyRecord(version)));
            report(fd, version);
        }
    } else if (kind == u"settings") {
        IniDefaultsStore store(folder + QStringLiteral("/Tovalit.ini"));
        report(fd, savingStarts);
        for (;; ++version) {
            for (const auto &[key, value] : versions::settings(version))
                store.setString(key, value);
            if (const auto error = store.synchronize()) {
                std::fprintf(stderr, "%s\n", qPrintable(*error));
                std::_Exit(2);
            }
            report(fd, version);
        }
    }
    std::fprintf(stderr, "unknown kind %s\n", qPrintable(kind));
    std::_Exit(2);
}

// The temporaries of unfinished saves in the folder and the folders in it.
QStringList temporaries(const QString &folder, int depth = 1) {
    const QDir dir(folder);
    QStringList found;
    for (const QString &name :
         dir.entryList(QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot)) {
        if (atomicfile::isTemporaryName(name))
            found.append(dir.filePath(name));
        else if (depth > 0)
            found += temporaries(dir.filePath(name), depth - 1);
    }
    return found;
}

bool holdsNewTemporary(const QString &folder, const QStringList &before) {
    const QStringList now = temporaries(folder);
    return std::any_of(now.begin(), now.end(),
                       [&before](const QString &path) { return !before.contains(path); });
}

// Stops the saver with a temporary of its own save in the folder (not one
// an earlier saver left); false when none showed within the time given, or
// the saver ended.
bool stopInsideASave(pid_t saver, const QString &folder, const QStringList &before) {
    timespec start{};
    ::clock_gettime(CLOCK_MONOTONIC, &start);
    for (;;) {
        timespec now{};
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        if (now.tv_sec - start.tv_sec > 30)
            return false;
        // A short pause between looks leaves the core to the saver and to
        // the tests beside this one.
        if (!holdsNewTemporary(folder, before)) {
            const timespec pause{0, 200 * 1000};
            ::nanosleep(&pause, nullptr);
            continue;
        }
        int status = 0;
        if (::kill(saver, SIGSTOP) != 0 || ::waitpid(saver, &status, WUNTRACED) != saver ||
            !WIFSTOPPED(status))
            return false;
        if (holdsNewTemporary(folder, before))
            return true;
        ::kill(saver, SIGCONT);
    }
}

// Forks a saver per request and kills it after the requested delay.
int killSavers(const QString &kind, const QString &folder, int argc, char **argv) {
    int first = 0;
    long delay = 0;
    while (std::scanf("%d %ld", &first, &delay) == 2) {
        const QStringList left = temporaries(folder);
        int pipeFds[2];
        if (::pipe(pipeFds) != 0)
            return 1;
        const pid_t saver = ::fork();
        if (saver < 0)
            return 1;
        if (saver == 0) {
            ::close(pipeFds[0]);
            try {
                QCoreApplication application(argc, argv);
                saveForever(kind, folder, first, pipeFds[1]);
            } catch (const std::exception &error) {
                std::fprintf(stderr, "saving failed: %s\n", error.what());
            }
            std::_Exit(1);
        }
        ::close(pipeFds[1]);
        int version = 0;
        const bool started = ::read(pipeFds[0], &version, sizeof version) == sizeof version &&
                             version == savingStarts;
        bool stopped = true;
        if (started && delay < 0) {
            stopped = stopInsideASave(saver, folder, left);
        } else if (started) {
            const timespec pause{delay / 1000000, (delay % 1000000) * 1000};
            ::nanosleep(&pause, nullptr);
        }
        ::kill(saver, SIGKILL);
        int status = 0;
        ::waitpid(saver, &status, 0);
        int last = first - 1;
        while (::read(pipeFds[0], &version, sizeof version) == sizeof version)
            last = version;
        ::close(pipeFds[0]);
        if (!started || !stopped || !WIFSIGNALED(status)) {
            std::fprintf(stdout, "failed %d\n", WIFEXITED(status) ? WEXITSTATUS(status) : -1);
            std::fflush(stdout);
            return 1;
        }
        std::fprintf(stdout, "%d\n", last);
        std::fflush(stdout);
    }
    return 0;
}

int record(const QString &folder, int argc, char **argv) {
    QCoreApplication application(argc, argv);
    AudioCaptureService service(
        std::make_shared<PulseAudioInput>(), ffmpegAacFileWriterFactory(),
        [folder] { return folder; }, systemMonotonicClock());
    std::atomic<qint64> frames{0};
    service.setOnBuffer([&frames](const PcmBuffer &buffer, const AudioTime &) {
        const qint64 total = frames += buffer.frameLength();
        std::fprintf(stdout, "frames %lld\n", static_cast<long long>(total));
        std::fflush(stdout);
    });
    QCoro::waitFor(service.start());
    std::fprintf(stdout, "recording\n");
    std::fflush(stdout);
    return QCoreApplication::exec();
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: data_file_saver <kind> <folder>\n");
        return 2;
    }
    const QString kind = QString::fromLocal8Bit(argv[1]);
    const QString folder = QString::fromLocal8Bit(argv[2]);
    if (kind == u"record")
        return record(folder, argc, argv);
    return killSavers(kind, folder, argc, argv);
}
