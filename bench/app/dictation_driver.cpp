#include "bench/app/dictation_driver.h"

#include "platform/linux/xtest_key_sender.h"
#include "tests/support/remote_desktop_consent.h"
#include "tests/support/run_task.h"
#include "tests/support/test_session.h"
#include "tests/support/wayland_clipboard_client.h"
#include "tests/support/x_clipboard_client.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QScopeGuard>

#include <cstdio>

namespace tovalit::bench {

const QStringList deliverySteps = {
    QStringLiteral("context"),         QStringLiteral("format.request"),
    QStringLiteral("format.response"), QStringLiteral("deliver"),
    QStringLiteral("insert.start"),    QStringLiteral("insert.paste"),
    QStringLiteral("insert.keys"),     QStringLiteral("insert.verify"),
    QStringLiteral("insert.path"),     QStringLiteral("insert.result"),
    QStringLiteral("deliver.result")};

namespace {

// What the user copies right after the text lands, with copyAfterText.
const QString laterClipboard = QStringLiteral("文字到了之后复制的");

// Where the compositor keeps the session's clipboard apart from the X
// server's while a native window is in front (KDE's, which lets any
// application at it through data control), the user copies there.
bool copiesInTheSession() {
    return !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") && testing::onDesktop("KDE");
}

std::optional<QString> paste() {
    return copiesInTheSession() ? testing::WaylandClipboardClient::paste()
                                : testing::XClipboardClient::paste();
}

// Another application takes the clipboard with `text`, in `owner`; with
// `wait`, until a paste gets it.
bool copy(QProcess &owner, const QString &text, bool wait = true) {
    owner.setStandardOutputFile(QProcess::nullDevice());
    owner.setStandardErrorFile(QProcess::nullDevice());
    if (copiesInTheSession()) {
        owner.start(QStringLiteral("wl-copy"), {QStringLiteral("--foreground"), text});
        if (!owner.waitForStarted(5000))
            return false;
    } else {
        owner.start(QStringLiteral("xclip"),
                    {QStringLiteral("-quiet"), QStringLiteral("-selection"),
                     QStringLiteral("clipboard"), QStringLiteral("-i")});
        if (!owner.waitForStarted(5000))
            return false;
        owner.write(text.toUtf8());
        owner.closeWriteChannel();
    }
    return !wait || waitFor([&] { return paste() == text; }, 5);
}

} // namespace

QString captureField(const QString &capture, const QString &name) {
    return capture.section(QStringLiteral(" | ") + name + QLatin1Char('='), 1)
        .section(QStringLiteral(" | "), 0, 0);
}

DictationDriver::DictationDriver(QString program, QString speech)
    : m_program(std::move(program))
    , m_speech(std::move(speech))
    , m_application(std::make_unique<ApplicationUnderTest>(m_program)) {}

DictationDriver::~DictationDriver() = default;

QString DictationDriver::userClipboard() {
    return QStringLiteral("用户自己复制的文字");
}

bool DictationDriver::fail(const QString &why) const {
    std::fprintf(stderr, "  %s: %s\n", qPrintable(m_program), qPrintable(why));
    return false;
}

bool DictationDriver::start() {
    if (!m_application->start())
        return fail(m_application->failure());
    return waitFor([&] { return m_application->gateway().callsTo("/api/proxy/lexicon-sync") > 0; },
                   20) ||
           fail(QStringLiteral("the start-up synchronisation never came"));
}

void DictationDriver::stop(const QString &logs, const QString &label) {
    if (!logs.isEmpty()) {
        QDir().mkpath(logs);
        const QString kept = QDir(logs).filePath(label + QStringLiteral(".log"));
        QFile::remove(kept);
        QFile::copy(logPath(), kept);
    }
    m_application.reset();
}

bool DictationDriver::toggle() {
    QProcess action;
    action.start(m_program, {QStringLiteral("--action"), QStringLiteral("toggle-recording")});
    return waitFor([&] { return action.state() == QProcess::NotRunning; }, 10) &&
           action.exitCode() == 0;
}

std::optional<Timing> DictationDriver::dictate(const Watch &watch) {
    const int index = ++m_dictations;
    QProcess copied;
    if (!copy(copied, userClipboard())) {
        fail(QStringLiteral("the user's copy never reached the clipboard"));
        return std::nullopt;
    }
    const auto dropCopy = qScopeGuard([&] { stopProcess(copied); });
    testing::GatewayStandIn &gateway = m_application->gateway();
    const size_t connections = gateway.recogniser.handshakes().size();
    const QDateTime started = QDateTime::currentDateTimeUtc();
    if (!toggle() || !waitFor(
                         [&] {
                             return gateway.recogniser.handshakes().size() > connections &&
                                    gateway.recogniser.isConnected();
                         },
                         15)) {
        fail(QStringLiteral("dictation %1 never started streaming").arg(index));
        return std::nullopt;
    }
    // GNOME asks the user in a window of its own, once a run, whether
    // Tovalit may have its keyboard: the user agrees before speaking, so
    // every stop is measured with the grant held.
    if (!m_consentAnswered && testing::onDesktop("GNOME")) {
        const ::testing::AssertionResult answered =
            testing::answerRemoteDesktopConsent(testing::RemoteDesktopAnswer::share);
        if (!answered) {
            fail(QString::fromStdString(answered.message()));
            return std::nullopt;
        }
        m_consentAnswered = true;
    }
    QProcess player;
    player.start(QStringLiteral("paplay"),
                 {QStringLiteral("-d"), QStringLiteral("vsink"), m_speech});
    waitFor([&] { return player.state() == QProcess::NotRunning; }, 30);
    const size_t tail = gateway.recogniser.binaryMessages().size() + 4;
    waitFor([&] { return gateway.recogniser.binaryMessages().size() >= tail; }, 5);

    // The stop counts from the recording's closing frame reaching the
    // recogniser, its first sign outside the application: the action's
    // own start-up is no part of it.
    const size_t framesBefore = gateway.recogniser.binaryMessages().size();
    QProcess action;
    action.start(m_program, {QStringLiteral("--action"), QStringLiteral("toggle-recording")});
    QElapsedTimer sinceStop;
    QDateTime stopped;
    Timing timing;
    QElapsedTimer limit;
    limit.start();
    // Reading the whole log at every look would cost more than the look.
    QElapsedTimer sinceLogRead;
    sinceLogRead.start();
    QElapsedTimer sinceEnded;
    while (true) {
        testing::pumpEvents(1);
        if (!sinceStop.isValid() && closingFrameSent(framesBefore)) {
            sinceStop.start();
            stopped = QDateTime::currentDateTimeUtc();
        }
        if (sinceStop.isValid() && watch.landed()) {
            timing.text = double(sinceStop.nsecsElapsed()) / 1e6;
            break;
        }
        if (watch.mayMiss && sinceStop.isValid() && !sinceEnded.isValid() &&
            sinceLogRead.elapsed() > 100) {
            sinceLogRead.restart();
            if (deliveryEnded(stopped))
                sinceEnded.start();
        }
        // A browser may take seconds to apply a paste into a long editor
        // after the insertion has ended; a text that has not come by then
        // is not coming.
        if (sinceEnded.isValid() && sinceEnded.elapsed() > 15000)
            break;
        if (limit.elapsed() > qint64(watch.limitSeconds * 1000)) {
            if (watch.mayMiss)
                break;
            fail(QStringLiteral("dictation %1 never reached the editor").arg(index));
            return std::nullopt;
        }
    }
    // The user copies something else the moment the text is in, before
    // the clipboard they had comes back: the copy is what stays.
    QProcess copiedAfter;
    const auto dropCopyAfter = qScopeGuard([&] { stopProcess(copiedAfter); });
    if (watch.copyAfterText && !copy(copiedAfter, laterClipboard, false)) {
        fail(QStringLiteral("the copy after the text could not start"));
        return std::nullopt;
    }
    waitFor([&] { return m_application->historyCount() >= index; }, 10);
    waitFor([&] { return action.state() == QProcess::NotRunning; }, 5);
    idleFor(0.6); // the last log lines, the clipboard's restore
    if (!stopped.isValid())
        stopped = started;
    timing.steps = stepsSince(stopped);
    timing.result = firstMessage(QStringLiteral("insert.result"), stopped)
                        .section(QStringLiteral("result="), 1);
    timing.capture = captureDelivered(started);
    timing.captureAfterStart = firstAfter(QStringLiteral("capture"), started);
    timing.clipboard = paste().value_or(QStringLiteral("<none>"));
    return timing;
}

QString DictationDriver::logPath() const {
    return QDir(m_application->dataFolder())
        .filePath(QStringLiteral("Diagnostics/insertion-debug.log"));
}

bool DictationDriver::closingFrameSent(size_t framesBefore) const {
    const auto messages = m_application->gateway().recogniser.binaryMessages();
    for (size_t index = framesBefore; index < size_t(messages.size()); ++index) {
        const auto frame = testing::readClientFrame(messages[index]);
        if (frame && frame->sequence && *frame->sequence < 0)
            return true;
    }
    return false;
}

std::vector<DictationDriver::LogLine> DictationDriver::logSince(const QDateTime &since) const {
    std::vector<LogLine> lines;
    QFile log(logPath());
    if (!log.open(QIODevice::ReadOnly))
        return lines;
    for (const QByteArray &raw : log.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw);
        const qsizetype close = line.indexOf(QStringLiteral("] ["));
        if (!line.startsWith(QLatin1Char('[')) || close < 0)
            continue;
        const QDateTime at = QDateTime::fromString(line.mid(1, close - 1), Qt::ISODateWithMs);
        const qsizetype categoryEnd = line.indexOf(QLatin1Char(']'), close + 3);
        if (!at.isValid() || at < since || categoryEnd < 0)
            continue;
        lines.push_back({at, line.mid(close + 3, categoryEnd - close - 3),
                         line.mid(categoryEnd + 1).trimmed()});
    }
    return lines;
}

std::map<QString, double> DictationDriver::stepsSince(const QDateTime &since) const {
    std::map<QString, double> found;
    for (const LogLine &line : logSince(since)) {
        if (deliverySteps.contains(line.category) && !found.count(line.category))
            found[line.category] = double(since.msecsTo(line.at));
    }
    return found;
}

QString DictationDriver::firstMessage(const QString &category, const QDateTime &since) const {
    for (const LogLine &line : logSince(since)) {
        if (line.category == category)
            return line.message;
    }
    return QString();
}

double DictationDriver::firstAfter(const QString &category, const QDateTime &since) const {
    for (const LogLine &line : logSince(since)) {
        if (line.category == category)
            return double(since.msecsTo(line.at));
    }
    return -1;
}

QString DictationDriver::captureDelivered(const QDateTime &since) const {
    // A recording captures again at its stop when what it captured at its
    // start is stale; the delivery goes by the last capture before it.
    QString capture;
    for (const LogLine &line : logSince(since)) {
        if (line.category == u"deliver")
            break;
        if (line.category == u"capture")
            capture = line.message;
    }
    return capture;
}

bool DictationDriver::deliveryEnded(const QDateTime &since) const {
    for (const LogLine &line : logSince(since)) {
        if (line.category == u"insert.result" || line.category == u"deliver.result")
            return true;
    }
    return false;
}

std::optional<Timing> pasteAsTheUser(const DictationDriver::Watch &watch) {
    const std::shared_ptr<XTestKeySender> keys = XTestKeySender::open();
    QProcess copied;
    const auto dropCopy = qScopeGuard([&] { stopProcess(copied); });
    if (!copy(copied, testing::GatewayStandIn::formattedText())) {
        std::fprintf(stderr, "  the user's copy never reached the clipboard\n");
        return std::nullopt;
    }
    if (!keys->sendPasteShortcut()) {
        std::fprintf(stderr, "  the paste's keys could not be sent through XTest\n");
        return std::nullopt;
    }
    // As the application's log line of the keys, this counts from the
    // moment the X server took them.
    QElapsedTimer sinceKeys;
    sinceKeys.start();
    Timing timing;
    while (sinceKeys.elapsed() <= qint64(watch.limitSeconds * 1000)) {
        testing::pumpEvents(1);
        if (watch.landed()) {
            timing.text = double(sinceKeys.nsecsElapsed()) / 1e6;
            return timing;
        }
    }
    if (!watch.mayMiss) {
        std::fprintf(stderr, "  the pasted text never reached the editor\n");
        return std::nullopt;
    }
    return timing;
}

} // namespace tovalit::bench
