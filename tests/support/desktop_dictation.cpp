#include "tests/support/desktop_dictation.h"

#include "app/main_window.h"
#include "platform/accessibility_thread.h"
#include "platform/linux/atspi_accessibility_client.h"
#include "platform/linux/atspi_bus.h"
#include "platform/linux/ini_defaults_store.h"
#include "platform/linux/pulse_audio_input.h"
#include "services/context/accessibility_focus.h"
#include "state/app_launch_coordinator.h"
#include "tests/support/run_task.h"
#include "tests/support/secret_service_session.h"
#include "tests/support/spoken_audio.h"
#include "tests/support/test_editor_process.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QPushButton>
#include <QQueue>

#include <gtest/gtest.h>

namespace tovalit::testing {

using namespace std::chrono_literals;

DesktopDictation::DesktopDictation(QString dataFolder)
    : m_dataFolder(std::move(dataFolder))
    , m_speech(m_scratch.filePath(QStringLiteral("speech.wav")))
    , m_thread(std::make_shared<AccessibilityThread>())
    , m_client(std::make_shared<AtspiAccessibilityClient>(m_thread))
    , m_bus(std::make_unique<AtspiBus>()) {}

DesktopDictation::~DesktopDictation() {
    GatewayStandIn::forgetStoredSession();
}

void DesktopDictation::requireDesktop() {
    TOVALIT_REQUIRE_ENVIRONMENT(PulseAudioInput().hasDefaultInputDevice(),
                                "no PulseAudio server with a default source");
    TOVALIT_REQUIRE_ENVIRONMENT(hasTool(QStringLiteral("espeak-ng")) &&
                                    hasTool(QStringLiteral("paplay")),
                                "espeak-ng and paplay are needed");
    TOVALIT_REQUIRE_SECRET_SERVICE();
    ASSERT_TRUE(m_scratch.isValid());
    ASSERT_TRUE(setDesktopAccessibilityEnabled(true));
    // A session an earlier run left in the keychain would spare the
    // registration.
    GatewayStandIn::forgetStoredSession();
}

void DesktopDictation::prepareSpeech() {
    ASSERT_EQ(synthesizeSpeech(QStringLiteral("Meeting at three this afternoon."), m_speech,
                               {QStringLiteral("-s"), QStringLiteral("170")}),
              std::nullopt);
}

VellupTranscriberApp::Dependencies DesktopDictation::dependencies(const QString &configHome) const {
    VellupTranscriberApp::Dependencies dependencies =
        VellupTranscriberApp::Dependencies::linuxDefaults();
    dependencies.defaults =
        std::make_shared<IniDefaultsStore>(configHome + QStringLiteral("/Tovalit/Tovalit.ini"));
    dependencies.environment = AppConfigurationStore::Environment{
        {QStringLiteral("TOVALIT_GATEWAY_BASE_URL"), gateway.baseURL()}};
    return dependencies;
}

namespace {

// The object with the keyboard focus in the process's active window,
// found by walking the whole window: GTK 4 marks none of the containers
// around its fields as showing, so a search that skips hidden subtrees
// never reaches them. A browser marks its page focused as well as the
// field in it: the innermost focused object is the field.
std::optional<AtspiObject> focusedObject(AtspiBus &bus, qint32 pid) {
    if (!bus.connectIfEnabled())
        return std::nullopt;
    const std::optional<QString> service = bus.serviceOfProcess(pid);
    const std::optional<AtspiObject> window = service ? bus.activeWindow(*service) : std::nullopt;
    if (!window)
        return std::nullopt;
    std::optional<AtspiObject> focused;
    QQueue<AtspiObject> queue;
    queue.enqueue(*window);
    // GTK 4 nests an editor's field about 15 levels deep.
    for (int visited = 0; !queue.isEmpty() && visited < 2000; ++visited) {
        const AtspiObject object = queue.dequeue();
        if (bus.hasState(object, AtspiBus::stateFocused)) {
            // GTK 3 marks a part inside its text view focused too: the
            // answer is the focused object with text, and an editable one
            // is the field itself.
            if (bus.text(object, 0, -1))
                focused = object;
            if (bus.hasState(object, AtspiBus::stateEditable))
                break;
            queue.clear();
        }
        for (const AtspiObject &child : bus.children(object).value_or(QList<AtspiObject>()))
            queue.enqueue(child);
    }
    return focused;
}

} // namespace

std::optional<QString> DesktopDictation::editorText(qint32 pid) {
    const std::optional<AtspiObject> field = focusedObject(*m_bus, pid);
    return field ? m_bus->text(*field, 0, -1) : std::nullopt;
}

bool DesktopDictation::placeCaret(qint32 pid, qint64 offset) {
    const std::optional<AtspiObject> field = focusedObject(*m_bus, pid);
    if (!field)
        return false;
    const auto moved = m_bus->call(*field, QStringLiteral("org.a11y.atspi.Text"),
                                   QStringLiteral("SetCaretOffset"), {int(offset)});
    return moved && !moved->isEmpty() && moved->first().toBool();
}

::testing::AssertionResult DesktopDictation::editorComesToShow(qint32 pid, const QString &text) {
    if (waitUntil([&] { return editorText(pid) == text; }, "the text in the editor", 5s))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "the editor shows: "
           << editorText(pid).value_or(QStringLiteral("<unreadable>")).toStdString();
}

std::optional<qint32> DesktopDictation::focusedProcess() {
    return runTask(m_thread->run([client = m_client]() -> std::optional<qint32> {
        const auto focus = AccessibilityFocus::read(*client);
        if (!focus)
            return std::nullopt;
        return focus->processIdentifier;
    }));
}

void DesktopDictation::saySpeech() {
    QProcess player;
    player.start(QStringLiteral("paplay"),
                 {QStringLiteral("-d"), QStringLiteral("vsink"), m_speech});
    ASSERT_TRUE(
        waitUntil([&] { return player.state() == QProcess::NotRunning; }, "paplay to finish", 15s));
    ASSERT_EQ(player.exitCode(), 0) << player.readAllStandardError().toStdString();
    // A further 0.4 s of frames keeps the last word in.
    const size_t tail = gateway.recogniser.binaryMessages().size() + 4;
    ASSERT_TRUE(waitUntil([&] { return gateway.recogniser.binaryMessages().size() >= tail; },
                          "the tail of the speech to be streamed", 5s));
}

void DesktopDictation::waitForStartUpSynchronisation() {
    ASSERT_TRUE(waitUntil([&] { return gateway.callsTo("/api/proxy/lexicon-sync") == 1; },
                          "the lexicon synchronised at start-up", 10s))
        << gateway.calls();
}

QJsonArray DesktopDictation::records() const {
    QFile file(QDir(m_dataFolder).filePath(QStringLiteral("history.json")));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).array();
}

QJsonObject DesktopDictation::expectOneRecord(const QString &status, const QString &note) const {
    const QJsonArray all = records();
    EXPECT_EQ(all.size(), 1) << history();
    const QJsonObject record = all.isEmpty() ? QJsonObject() : all[0].toObject();
    EXPECT_EQ(record[u"transcript"].toString(), GatewayStandIn::formattedText());
    EXPECT_EQ(record[u"rawTranscript"].toString(), GatewayStandIn::heardText());
    EXPECT_EQ(record[u"status"].toString(), status) << record[u"note"].toString().toStdString();
    EXPECT_EQ(record[u"note"].toString(), note);
    return record;
}

std::string DesktopDictation::history() const {
    QFile file(QDir(m_dataFolder).filePath(QStringLiteral("history.json")));
    if (!file.open(QIODevice::ReadOnly))
        return "no history.json in the data folder";
    return file.readAll().toStdString();
}

void DesktopDictation::goPastOnboarding(VellupTranscriberApp &app) {
    if (!app.launchCoordinator().shouldShowPermissionsOnboarding())
        return;
    auto *bypass = app.mainWindow()->findChild<QPushButton *>(QStringLiteral("bypassButton"));
    ASSERT_NE(bypass, nullptr);
    bypass->click();
}

void DesktopDictation::quit(std::unique_ptr<VellupTranscriberApp> &app) {
    if (app)
        app->delegate().applicationWillTerminate();
    app.reset();
    pumpEvents(10);
}

} // namespace tovalit::testing
