#include "platform/linux/linux_permission_probe.h"
#include "platform/linux/pulse_audio_input.h"
#include "tests/support/run_task.h"
#include "tests/support/test_editor_process.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QTemporaryDir>
#include <QVariantMap>

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace tovalit {
namespace {

std::optional<bool> desktopAccessibilityEnabled() {
    QDBusMessage request = QDBusMessage::createMethodCall(
        QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    request << QStringLiteral("org.a11y.Status") << QStringLiteral("IsEnabled");
    const QDBusMessage reply = QDBusConnection::sessionBus().call(request, QDBus::Block, 5000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return std::nullopt;
    return qvariant_cast<QDBusVariant>(reply.arguments().first()).variant().toBool();
}

class LinuxPermissionProbeTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("DISPLAY") ||
            !QDBusConnection::sessionBus().isConnected()) {
            if (testing::inTestSession())
                FAIL() << "no desktop session in the test session";
            GTEST_SKIP() << "needs the desktop session of scripts/test";
        }
        wasEnabled = desktopAccessibilityEnabled();
        ASSERT_TRUE(wasEnabled) << "the accessibility bus does not answer";
    }
    void TearDown() override {
        if (wasEnabled)
            testing::setDesktopAccessibilityEnabled(*wasEnabled);
    }

    std::optional<bool> wasEnabled;
    QTemporaryDir inputDevices;
};

TEST_F(LinuxPermissionProbeTest, AnswersFromTheSoundServerTheInputDevicesAndTheAccessibilityBus) {
    LinuxPermissionProbe probe(std::make_shared<PulseAudioInput>(), inputDevices.path());

    // The session's virtual microphone is there to record from.
    EXPECT_EQ(probe.microphoneAuthorizationStatus(), MicrophoneAuthorizationStatus::authorized);
    std::optional<bool> answer;
    probe.requestMicrophoneAccess([&answer](bool granted) { answer = granted; });
    EXPECT_EQ(answer, true);

    // No keyboard may be read here; a pipe named like one is not one.
    EXPECT_FALSE(probe.preflightListenEventAccess());
    ASSERT_EQ(mkfifo(QFile::encodeName(inputDevices.filePath("event0")).constData(), 0600), 0);
    EXPECT_FALSE(probe.preflightListenEventAccess());
    probe.requestListenEventAccess();

    // Accessibility switched off: not trusted, until asked for, which
    // switches it on for the desktop.
    ASSERT_TRUE(testing::setDesktopAccessibilityEnabled(false));
    EXPECT_FALSE(probe.isProcessTrusted(false));
    EXPECT_EQ(desktopAccessibilityEnabled(), false) << "probing changes nothing";
    EXPECT_TRUE(probe.isProcessTrusted(true)) << "the X server offers synthetic input";
    EXPECT_EQ(desktopAccessibilityEnabled(), true);
    EXPECT_TRUE(probe.isProcessTrusted(false));
}

TEST(LinuxPermissionProbeWithoutSound, NoSoundServerMeansNoMicrophone) {
    // A server address nobody listens on.
    const QByteArray saved = qgetenv("PULSE_SERVER");
    qputenv("PULSE_SERVER", "unix:/nonexistent/tovalit-test-pulse");
    LinuxPermissionProbe probe(std::make_shared<PulseAudioInput>(), QStringLiteral("/nonexistent"));
    EXPECT_EQ(probe.microphoneAuthorizationStatus(), MicrophoneAuthorizationStatus::unavailable);
    if (saved.isNull())
        qunsetenv("PULSE_SERVER");
    else
        qputenv("PULSE_SERVER", saved);
}

} // namespace
} // namespace tovalit
