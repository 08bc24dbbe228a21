#include "tests/support/killed_saves.h"

#include "support/atomic_file.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>

#include <gtest/gtest.h>

namespace tovalit::testing {

namespace {

// A sanitizer slows a save several times over, its first one most of all:
// the kills spread over as much more time, so that they still fall inside
// saves and not all before the first one writes anything.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int slowdown = 10;
#else
constexpr int slowdown = 1;
#endif

} // namespace

bool holdsTemporary(const QString &folder) {
    const QStringList names = entriesOf(folder);
    return std::any_of(names.begin(), names.end(), atomicfile::isTemporaryName);
}

int killSaversRepeatedly(const QString &kind, const QString &folder, int rounds,
                         int maxDelayMicroseconds,
                         const std::function<AfterKill(int lastSaved)> &check) {
    QProcess saver;
    saver.start(QStringLiteral(TOVALIT_TEST_TOOLS_DIR "/data_file_saver"), {kind, folder});
    if (!saver.waitForStarted(10000)) {
        ADD_FAILURE() << "data_file_saver did not start: " << saver.errorString().toStdString();
        return 0;
    }
    // Seeded per run, and printed, so that a failure can be replayed.
    const quint32 seed = QRandomGenerator::system()->generate();
    QRandomGenerator random(seed);
    SCOPED_TRACE(::testing::Message() << "delays seeded with " << seed);

    int next = 1;
    int withTemporary = 0;
    for (int round = 0; round < rounds; ++round) {
        // Random delays fall before the first write when the machine is
        // busy: every 25th kill is made to fall inside a save.
        const int delay =
            round % 25 == 24 ? -1 : random.bounded(maxDelayMicroseconds * slowdown + 1);
        saver.write(QByteArray::number(next) + ' ' + QByteArray::number(delay) + '\n');
        if (!saver.waitForReadyRead(10000) && !saver.canReadLine()) {
            ADD_FAILURE() << "no answer from data_file_saver in round " << round << ": "
                          << saver.readAllStandardError().toStdString();
            break;
        }
        while (!saver.canReadLine() && saver.waitForReadyRead(10000)) {
        }
        const QByteArray answer = saver.readLine().trimmed();
        bool ok = false;
        const int lastSaved = answer.toInt(&ok);
        if (!ok) {
            ADD_FAILURE() << "data_file_saver: " << answer.toStdString() << ' '
                          << saver.readAllStandardError().toStdString();
            break;
        }
        const AfterKill found = check(lastSaved);
        if (::testing::Test::HasFailure()) {
            ADD_FAILURE() << "in round " << round << ", killed "
                          << (delay < 0 ? std::string("inside a save")
                                        : "after " + std::to_string(delay) + " us")
                          << " with version " << lastSaved << " saved";
            break;
        }
        EXPECT_TRUE(found.version == lastSaved || found.version == lastSaved + 1)
            << "the file holds version " << found.version << " after version " << lastSaved
            << " was saved";
        withTemporary += found.sawTemporary ? 1 : 0;
        next = std::max(found.version, lastSaved) + 1;
    }
    saver.closeWriteChannel();
    saver.waitForFinished(10000);
    return withTemporary;
}

} // namespace tovalit::testing
