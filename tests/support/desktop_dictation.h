#pragma once

#include "app/vellup_transcriber_app.h"
#include "tests/support/gateway_stand_in.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <string>

namespace tovalit {
class AccessibilityThread;
class AtspiAccessibilityClient;
class AtspiBus;
} // namespace tovalit

namespace tovalit::testing {

// What the tests of a whole dictation on a desktop share: the gateway
// stand-in on loopback, a spoken sentence for the session's microphone,
// the accessibility bus to read the editor the text lands in, and the
// history file the dictation is filed in. The application itself is the
// real one over the desktop's own services.
class DesktopDictation {
public:
    // The data folder of the test's user folders.
    explicit DesktopDictation(QString dataFolder);
    ~DesktopDictation();
    DesktopDictation(const DesktopDictation &) = delete;
    DesktopDictation &operator=(const DesktopDictation &) = delete;

    // Fails the calling test (or skips it, run by hand) when the session
    // lacks the microphone, the speech tools or the keychain; switches
    // the desktop's accessibility on and forgets a session an earlier run
    // left in the keychain.
    void requireDesktop();
    // Renders the sentence the user says.
    void prepareSpeech();
    // The application as it starts on this desktop, with the gateway's
    // address and its settings file in the test's folders.
    VellupTranscriberApp::Dependencies dependencies(const QString &configHome) const;

    // The focused field of the process `pid`, as the accessibility bus
    // reads it (in its active window); nothing while it shows none.
    std::optional<QString> editorText(qint32 pid);
    // Waits a few seconds for that field to show `text`; the failure
    // says what it showed.
    ::testing::AssertionResult editorComesToShow(qint32 pid, const QString &text);
    // Puts the caret of that field at `offset` (UTF-16 units), as a click
    // there would; whether the field took it.
    bool placeCaret(qint32 pid, qint64 offset);
    // The process whose window has the focus, as the accessibility bus
    // says; nothing while none has.
    std::optional<qint32> focusedProcess();
    // Plays the speech into the microphone while the recording runs, and
    // waits for the tail the microphone's monitor lags behind by.
    void saySpeech();
    // Start-up synchronises the lexicon through the gateway, which
    // registers the device; a dictation then uses that session (two calls
    // that both find no session yet would each register).
    void waitForStartUpSynchronisation();
    // Nothing here may read the keyboards under /dev/input, so the
    // onboarding asks for that permission; the user goes on without it.
    static void goPastOnboarding(VellupTranscriberApp &app);
    // Ends `app` as quitting does, and lets its last events run.
    static void quit(std::unique_ptr<VellupTranscriberApp> &app);

    // The history file's records.
    QJsonArray records() const;
    // The one record of the dictation: the tidied text, every heard word
    // kept beside it, with `status` and `note`.
    QJsonObject expectOneRecord(const QString &status, const QString &note) const;
    // The history file, for a failure message.
    std::string history() const;

    GatewayStandIn gateway;

private:
    QString m_dataFolder;
    QTemporaryDir m_scratch;
    QString m_speech;
    std::shared_ptr<AccessibilityThread> m_thread;
    std::shared_ptr<AtspiAccessibilityClient> m_client;
    // The editor's field is read on this thread, apart from the
    // application's own search.
    std::unique_ptr<AtspiBus> m_bus;
};

} // namespace tovalit::testing
