#include "bench/app/application_under_test.h"

#include "platform/application_keyboard.h"
#include "platform/linux/ini_defaults_store.h"
#include "tests/support/run_task.h"
#include "tests/support/test_editor_process.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include <cstdio>

namespace tovalit::bench {

namespace {

const QString editorTitle = QStringLiteral("会议记录");

QString activeWindowName() {
    return testing::xdotool({QStringLiteral("getactivewindow"), QStringLiteral("getwindowname")});
}

bool activate(quint64 window, const QString &name) {
    testing::xdotool({QStringLiteral("windowactivate"), QString::number(window)});
    return waitFor([&] { return activeWindowName() == name; }, 10);
}

} // namespace

const ShortcutConfiguration shortcut = ShortcutConfiguration::custom(
    40, ModifierFlag::control | ModifierFlag::option | ModifierFlag::shift, QStringLiteral("K"));
const QString shortcutKeys = QStringLiteral("ctrl+alt+shift+k");

bool waitFor(const std::function<bool()> &condition, double seconds) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (!condition()) {
        if (elapsed.elapsed() > qint64(seconds * 1000))
            return false;
        testing::pumpEvents(20);
    }
    return true;
}

void idleFor(double seconds) {
    waitFor([] { return false; }, seconds);
}

void stopProcess(QProcess &process) {
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

quint64 windowOf(qint64 pid, const QString &namePattern) {
    return testing::xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                             QStringLiteral("--pid"), QString::number(pid),
                             QStringLiteral("--name"), namePattern})
        .split(QLatin1Char('\n'))
        .value(0)
        .toULongLong();
}

bool activateWindowOf(qint64 pid) {
    const quint64 window = windowOf(pid, QStringLiteral("."));
    if (!window)
        return false;
    testing::xdotool({QStringLiteral("windowactivate"), QString::number(window)});
    return true;
}

bool sessionIsReady() {
    if (qEnvironmentVariableIsEmpty("DISPLAY") || !testing::hasTool(QStringLiteral("xdotool")) ||
        !testing::hasTool(QStringLiteral("espeak-ng")) ||
        !testing::hasTool(QStringLiteral("paplay"))) {
        std::fprintf(stderr, "needs the headless session (the bench/ wrapper starts it) "
                             "with xdotool, espeak-ng and paplay\n");
        return false;
    }
    if (!testing::setDesktopAccessibilityEnabled(true)) {
        std::fprintf(stderr, "the accessibility bus did not answer\n");
        return false;
    }
    return true;
}

ApplicationUnderTest::ApplicationUnderTest(QString program)
    : m_program(std::move(program)) {}

ApplicationUnderTest::~ApplicationUnderTest() {
    stopProcess(m_editor);
    stopProcess(m_application);
}

bool ApplicationUnderTest::fail(QString why) {
    m_failure = std::move(why);
    return false;
}

QString ApplicationUnderTest::dataFolder() const {
    return m_folders.filePath(QStringLiteral("data/Tovalit"));
}

int ApplicationUnderTest::historyCount() const {
    QFile history(QDir(dataFolder()).filePath(QStringLiteral("history.json")));
    if (!history.open(QIODevice::ReadOnly))
        return 0;
    return int(QJsonDocument::fromJson(history.readAll()).array().size());
}

bool ApplicationUnderTest::start() {
    if (!m_folders.isValid())
        return fail(QStringLiteral("no temporary folder"));
    // Settings of its own: the key combination as the shortcut; the
    // onboarding stays, as on a desktop whose keyboards it cannot read.
    const QString config = m_folders.filePath(QStringLiteral("config"));
    IniDefaultsStore(config + QStringLiteral("/Tovalit/Tovalit.ini"))
        .setData(QStringLiteral("vellup_transcriber.shortcutConfiguration"), shortcut.toJson());
    // A session left in the keychain would spare the registration.
    testing::GatewayStandIn::forgetStoredSession();

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
    environment.insert(QStringLiteral("XDG_DATA_HOME"), m_folders.filePath(QStringLiteral("data")));
    environment.insert(QStringLiteral("XDG_CACHE_HOME"),
                       m_folders.filePath(QStringLiteral("cache")));
    environment.insert(QStringLiteral("TOVALIT_GATEWAY_BASE_URL"), m_gateway.baseURL());
    environment.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    m_application.setProcessEnvironment(environment);
    m_application.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_application.setStandardOutputFile(QProcess::nullDevice());
    m_application.start(m_program, {});
    if (!m_application.waitForStarted(10000))
        return fail(QStringLiteral("could not start ") + m_program);
    if (!waitFor([&] { return windowOf(pid(), QStringLiteral("^Tovalit$")) != 0; }, 20))
        return fail(QStringLiteral("the main window never showed"));
    return true;
}

bool ApplicationUnderTest::startEditor() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("NO_AT_BRIDGE"));
    m_editor.setProcessEnvironment(environment);
    m_editor.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_editor.start(testing::testToolPath(QStringLiteral("gtk_text_view")),
                   {editorTitle, QString(), QStringLiteral("0")});
    QByteArray output;
    if (!waitFor(
            [&] {
                output += m_editor.readAllStandardOutput();
                return output.contains("ready") || m_editor.state() == QProcess::NotRunning;
            },
            15) ||
        !output.contains("ready"))
        return fail(QStringLiteral("the editor never became ready"));
    return bringEditorForward();
}

bool ApplicationUnderTest::bringEditorForward() {
    if (activeWindowName() == editorTitle)
        return true;
    const quint64 window =
        windowOf(m_editor.processId(), QStringLiteral("^") + editorTitle + QStringLiteral("$"));
    if (!window)
        return fail(QStringLiteral("the editor's window is gone"));
    if (!activate(window, editorTitle))
        return fail(QStringLiteral("the editor did not come to the front"));
    return true;
}

void ApplicationUnderTest::killAbruptly() {
    if (m_application.state() == QProcess::NotRunning)
        return;
    m_application.kill();
    m_application.waitForFinished(10000);
}

bool ApplicationUnderTest::showMainWindow() {
    const quint64 window = windowOf(pid(), QStringLiteral("^Tovalit$"));
    if (!window)
        return fail(QStringLiteral("the main window is gone"));
    if (!activate(window, QStringLiteral("Tovalit")))
        return fail(QStringLiteral("the main window did not come to the front"));
    return true;
}

} // namespace tovalit::bench
