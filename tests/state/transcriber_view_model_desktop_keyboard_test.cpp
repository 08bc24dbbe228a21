// In a Wayland session, the keyboard the desktop lends for pastes is asked
// for when a recording starts, not when its text is delivered.

#include "platform/fake/recording_remote_desktop_keyboard.h"
#include "services/permissions/remote_desktop_keyboard_access.h"
#include "tests/state/view_model_harness.h"
#include "tests/support/manual_sleeper.h"

namespace tovalit {
namespace {

using namespace testing;
using State = RemoteDesktopKeyboardAccess::State;

class DesktopKeyboardTest : public ViewModelTest {
protected:
    DesktopKeyboardTest() {
        keyboard->holdAnswers(true);
        adjustDependencies = [this](TranscriberViewModel::Dependencies &d) {
            access =
                std::make_shared<RemoteDesktopKeyboardAccess>(*store, keyboard, limits.sleeper());
            d.remoteDesktopKeyboard = access;
        };
    }
    ~DesktopKeyboardTest() override {
        viewModel.reset();
        access.reset();
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

} // namespace
} // namespace tovalit
