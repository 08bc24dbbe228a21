// In a Wayland session, the keyboard the desktop lends for pastes is asked
// for when a recording starts, not when its text is delivered.

#include "platform/fake/in_memory_secret_store.h"
#include "platform/fake/recording_remote_desktop_keyboard.h"
#include "services/permissions/remote_desktop_keyboard_access.h"
#include "tests/state/view_model_harness.h"
#include "tests/support/manual_sleeper.h"
#include "tests/support/task_in_flight.h"

namespace tovalit {
namespace {

using namespace testing;
using State = RemoteDesktopKeyboardAccess::State;

class DesktopKeyboardTest : public ViewModelTest {
protected:
    DesktopKeyboardTest() {
        keyboard->holdAnswers(true);
        adjustDependencies = [this](TranscriberViewModel::Dependencies &d) {
            access = std::make_shared<RemoteDesktopKeyboardAccess>(
                *store, keyboard, std::make_shared<InMemorySecretStore>(), limits.sleeper());
            d.remoteDesktopKeyboard = access;
        };
    }
    ~DesktopKeyboardTest() override {
        viewModel.reset();
        access.reset();
    }

    // The real insertion, into a native Wayland window the X server does
    // not know: the paste waits for the desktop's keyboard.
    void insertIntoANativeWindow() {
        adjustDependencies = [this, lendAccess =
                                        adjustDependencies](TranscriberViewModel::Dependencies &d) {
            lendAccess(d);
            d.insertionRunner = nullptr;
            d.insertionService = std::make_shared<FocusedInputInsertionService>(
                std::make_shared<FakeAccessibilityClient>(), pasteboard,
                std::make_shared<RecordingKeySender>(),
                [](double, CancelToken) -> QCoro::Task<void> { co_return; }, [] { return 0.0; },
                DisplaySession{true}, nullptr, access);
        };
    }

    std::shared_ptr<RecordingRemoteDesktopKeyboard> keyboard =
        std::make_shared<RecordingRemoteDesktopKeyboard>();
    ManualSleeper limits;
    std::shared_ptr<RemoteDesktopKeyboardAccess> access;
};

TEST_F(DesktopKeyboardTest, ARecordingAsksForItOnceTheContextIsReadAndOncePerRun) {
    contextGate = std::make_shared<Gate>();
    useGateway();
    makeViewModel();
    startRecording();
    settle();
    // The desktop's window takes the keyboard focus: the capture would see
    // that window instead of the user's.
    EXPECT_TRUE(keyboard->openings().isEmpty());
    contextGate->open();
    ASSERT_TRUE(
        waitUntil([&] { return keyboard->pendingOpenings() == 1; }, "the desktop to be asked"));
    EXPECT_EQ(access->state(), State::requesting);
    keyboard->releaseAnswers();
    ASSERT_TRUE(waitUntil([&] { return access->state() == State::granted; }, "the grant"));
    stopRecording();

    contextGate.reset();
    startRecording();
    stopRecording();
    settle();
    EXPECT_EQ(keyboard->openings().size(), 1);
}

// The application quits while a dictation's text waits for the user's
// answer in the desktop's window; the wait ends while the event loop still
// runs. The stop must find its controller gone and file nothing.
TEST_F(DesktopKeyboardTest, AStopWaitingForTheAnswerWhenTheControllerGoesResumesNothing) {
    insertIntoANativeWindow();
    useGateway();
    defaultTranscriberScript.finishText = QStringLiteral("明天见");
    makeViewModel();
    startRecording();
    ASSERT_TRUE(
        waitUntil([&] { return keyboard->pendingOpenings() == 1; }, "the desktop to be asked"));
    time.advance(2.0);
    const auto stopping = startTask(viewModel->toggleRecording());
    ASSERT_TRUE(waitUntil(
        [&] {
            return limits.count() == 2 &&
                   limits.last().seconds == RemoteDesktopKeyboardAccess::deliveryWaitLimit;
        },
        "the text to wait for the answer"));

    viewModel.reset();
    limits.wakeLast();
    ASSERT_TRUE(waitUntil([&] { return stopping->done; }, "the stop to end"));
    EXPECT_TRUE(runTask(history.loadRecords()).isEmpty()) << "filed for a controller that is gone";
}

// GNOME takes our clipboard into its session only a while after it
// changes, and the keys into a native window wait for that: the text is
// put there while the delivery still waits for the user's keys to come up.
// A delivery that ends there gives the user's clipboard back.
TEST_F(DesktopKeyboardTest, TheTextIsOnTheClipboardWhileTheUsersKeysComeUp) {
    insertIntoANativeWindow();
    keyboard->releaseAnswers();
    QStringList pasted;
    keyboard->onPaste = [&] {
        pasted.append(pasteboard->string().value_or(QString()));
        return true;
    };
    useGateway();
    defaultTranscriberScript.finishText = QStringLiteral("明天见");
    makeViewModel();
    int deliveries = 0;
    const auto dictateUntilTheKeysWait = [&] {
        pasteboard->copyFromElsewhere(QStringLiteral("mine"));
        releaseGate = std::make_shared<Gate>();
        startRecording();
        time.advance(2.0);
        auto stopping = startTask(viewModel->toggleRecording());
        ++deliveries;
        EXPECT_TRUE(waitUntil(
            [&] {
                return events->events().count(QStringLiteral("release wait 0.05")) == deliveries;
            },
            "the wait for the keys"));
        return stopping;
    };

    const auto stopping = dictateUntilTheKeysWait();
    EXPECT_TRUE(waitUntil([&] { return pasteboard->string() == QStringLiteral("明天见"); },
                          "the text on the clipboard"));
    releaseGate->open();
    ASSERT_TRUE(waitUntil([&] { return stopping->done; }, "the stop to end"));
    EXPECT_EQ(pasted, QStringList{QStringLiteral("明天见")});

    const auto cutShort = dictateUntilTheKeysWait();
    ASSERT_TRUE(waitUntil([&] { return pasteboard->string() == QStringLiteral("明天见"); },
                          "the text on the clipboard"));
    viewModel.reset();
    releaseGate->open();
    ASSERT_TRUE(waitUntil([&] { return cutShort->done; }, "the stop to end"));
    EXPECT_EQ(pasteboard->string(), QStringLiteral("mine"));
    EXPECT_EQ(pasted.size(), 1);
}

} // namespace
} // namespace tovalit
