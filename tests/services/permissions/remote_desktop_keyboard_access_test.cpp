// The keyboard the desktop lends through its remote-desktop portal, asked
// for and kept by Tovalit's own portal client against stand-in portals of
// both versions on a bus of the test's own; the wait for the user runs on
// a sleeper the test wakes, and the keyring is in memory.

#include "platform/fake/in_memory_defaults_store.h"
#include "platform/fake/in_memory_secret_store.h"
#include "platform/linux/xdg_remote_desktop_portal.h"
#include "services/permissions/remote_desktop_keyboard_access.h"
#include "services/settings/app_configuration_store.h"
#include "tests/support/capture_log.h"
#include "tests/support/manual_sleeper.h"
#include "tests/support/private_session_bus.h"
#include "tests/support/qt_printers.h"
#include "tests/support/remote_desktop_portal_stand_in.h"
#include "tests/support/run_task.h"

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using namespace std::chrono_literals;
using Access = RemoteDesktopKeyboardAccess;
using State = Access::State;
using Readiness = Access::Readiness;
using testing::runTask;
using testing::waitUntil;

// Ctrl+V as key symbols and states: Control_L down, v down, v up, Control_L up.
const QStringList pasteKeys{QStringLiteral("65507 1"), QStringLiteral("118 1"),
                            QStringLiteral("118 0"), QStringLiteral("65507 0")};

QCoro::Task<void> deliver(RemoteDesktopKeyboardAccess *access, std::optional<Readiness> *outcome) {
    *outcome = co_await access->keyboardForDelivery();
}

class RemoteDesktopKeyboardAccessTest : public testing::WithDiagnosticsLog {
protected:
    void SetUp() override { ASSERT_TRUE(bus.isRunning()); }

    void startDesktop(uint version) {
        desktop = std::make_unique<testing::RemoteDesktopPortalStandIn>(bus.connect(), version);
        ASSERT_TRUE(desktop->start());
    }

    // One run of Tovalit: its own portal connection, the shared settings
    // and keyring.
    std::unique_ptr<RemoteDesktopKeyboardAccess> startRun() { return startRun(store); }
    std::unique_ptr<RemoteDesktopKeyboardAccess> startRun(AppConfigurationStore &settings) {
        return std::make_unique<RemoteDesktopKeyboardAccess>(
            settings, std::make_shared<XdgRemoteDesktopPortal>(bus.connect(), 2s), secrets,
            sleeper.sleeper());
    }
    std::optional<QString> keptToken() const {
        const auto kept = secrets->peek(Access::keyringService, Access::keyringAccount);
        return kept ? std::optional<QString>(QString::fromUtf8(*kept)) : std::nullopt;
    }

    bool reaches(RemoteDesktopKeyboardAccess &access, State state) {
        return waitUntil([&] { return access.state() == state; }, "the keyboard's state");
    }
    bool userIsAsked() {
        return waitUntil([&] { return desktop->waitingForUser() == 1; },
                         "the desktop's window to ask the user");
    }
    // The user lends the keyboard when the run asks.
    void grant(RemoteDesktopKeyboardAccess &run) {
        run.requestIfNeeded();
        ASSERT_TRUE(userIsAsked());
        desktop->answerUser(0);
        ASSERT_TRUE(reaches(run, State::granted));
    }
    // The pending sleep of `seconds`: a bound on a wait for the user.
    std::optional<std::size_t> pendingSleep(double seconds) const {
        for (std::size_t index = 0; index < sleeper.count(); ++index) {
            if (sleeper.at(index).seconds == seconds && sleeper.at(index).isPending())
                return index;
        }
        return std::nullopt;
    }

    testing::PrivateSessionBus bus;
    InMemoryDefaultsStore defaults;
    AppConfigurationStore store{defaults, AppConfigurationStore::Environment()};
    std::shared_ptr<InMemorySecretStore> secrets = std::make_shared<InMemorySecretStore>();
    testing::ManualSleeper sleeper;
    std::unique_ptr<testing::RemoteDesktopPortalStandIn> desktop;
};

TEST_F(RemoteDesktopKeyboardAccessTest, AKeptGrantOpensTheNextRunsSessionWithoutAsking) {
    ASSERT_NO_FATAL_FAILURE(startDesktop(2));
    auto run = startRun();
    run->requestIfNeeded();
    EXPECT_EQ(run->state(), State::requesting);
    ASSERT_TRUE(userIsAsked());
    EXPECT_EQ(desktop->calls(),
              (QStringList{"CreateSession", "SelectDevices types=1 persist=2 restore=", "Start"}));
    desktop->answerUser(0);
    ASSERT_TRUE(reaches(*run, State::granted));
    ASSERT_TRUE(waitUntil([&] { return keptToken() == QStringLiteral("token-1"); },
                          "the grant to be kept in the keyring"));
    EXPECT_TRUE(runTask(run->pressPasteShortcut()));
    EXPECT_EQ(desktop->keys(), pasteKeys);
    // One session for the run.
    run->requestIfNeeded();
    EXPECT_EQ(runTask(run->keyboardForDelivery()), Readiness::open);
    EXPECT_EQ(desktop->calls().count(QStringLiteral("CreateSession")), 1);

    run.reset();
    ASSERT_TRUE(waitUntil([&] { return desktop->openSessions().isEmpty(); },
                          "the session to end with its run"));
    auto next = startRun();
    next->requestIfNeeded();
    ASSERT_TRUE(reaches(*next, State::granted));
    EXPECT_EQ(desktop->timesAsked(), 1) << "the kept grant is not asked again";
    EXPECT_EQ(desktop->calls().filter(QStringLiteral("SelectDevices")).last(),
              QStringLiteral("SelectDevices types=1 persist=2 restore=token-1"));
    EXPECT_TRUE(waitUntil([&] { return keptToken() == QStringLiteral("token-2"); },
                          "each token to be good once"));
}

// Whoever presents the restore token has the desktop's keyboard without the
// user being asked: it is a credential, kept in the keyring alone (in
// memory for the run without one), moved there from the settings file of
// an earlier version, and never written to the diagnostics log.
TEST_F(RemoteDesktopKeyboardAccessTest, TheRestoreTokenIsKeptWithTheSecretsAlone) {
    const QString settingsKey = QStringLiteral("vellup_transcriber.remoteDesktopRestoreToken");
    ASSERT_NO_FATAL_FAILURE(startDesktop(2));
    auto run = startRun();
    ASSERT_NO_FATAL_FAILURE(grant(*run));
    ASSERT_TRUE(waitUntil([&] { return keptToken() == QStringLiteral("token-1"); },
                          "the grant to be kept in the keyring"));
    run.reset();

    // Where an earlier version kept it.
    secrets->remove(Access::keyringService, Access::keyringAccount, CancelToken());
    defaults.setString(settingsKey, QStringLiteral("token-1"));
    ASSERT_EQ(defaults.synchronize(), std::nullopt);
    AppConfigurationStore upgraded{defaults, AppConfigurationStore::Environment()};
    EXPECT_FALSE(defaults.contains(settingsKey));
    auto next = startRun(upgraded);
    next->requestIfNeeded();
    ASSERT_TRUE(reaches(*next, State::granted));
    EXPECT_EQ(desktop->timesAsked(), 1);
    EXPECT_EQ(desktop->calls().filter(QStringLiteral("SelectDevices")).last(),
              QStringLiteral("SelectDevices types=1 persist=2 restore=token-1"));
    EXPECT_TRUE(waitUntil([&] { return keptToken() == QStringLiteral("token-2"); },
                          "the new grant to be kept in the keyring"));

    // A desktop without a keyring: for the run.
    secrets->setNoService(true);
    const auto grantAgain = [&](bool asked) {
        desktop->closeFromDesktop(desktop->openSessions().value(0));
        ASSERT_TRUE(reaches(*next, State::notRequested));
        next->request();
        if (asked) {
            ASSERT_TRUE(userIsAsked());
            desktop->answerUser(0);
        }
        ASSERT_TRUE(reaches(*next, State::granted));
    };
    ASSERT_NO_FATAL_FAILURE(grantAgain(true));
    ASSERT_NO_FATAL_FAILURE(grantAgain(false));
    EXPECT_EQ(desktop->timesAsked(), 2);
    EXPECT_EQ(desktop->calls().filter(QStringLiteral("SelectDevices")).last(),
              QStringLiteral("SelectDevices types=1 persist=2 restore=token-3"));

    EXPECT_FALSE(defaults.contains(settingsKey));
    for (const QString &line : logLines())
        EXPECT_FALSE(line.contains(u"token-")) << line.toStdString();
}

TEST_F(RemoteDesktopKeyboardAccessTest, AVersion1DesktopIsAskedOncePerRun) {
    ASSERT_NO_FATAL_FAILURE(startDesktop(1));
    auto run = startRun();
    run->requestIfNeeded();
    ASSERT_TRUE(userIsAsked());
    // It would refuse the options of version 2.
    EXPECT_EQ(desktop->calls().filter(QStringLiteral("SelectDevices")),
              QStringList{QStringLiteral("SelectDevices types=1 persist=0 restore=")});
    desktop->answerUser(0);
    ASSERT_TRUE(reaches(*run, State::granted));
    EXPECT_FALSE(keptToken());
    run->requestIfNeeded();
    EXPECT_TRUE(runTask(run->pressPasteShortcut()));
    EXPECT_EQ(desktop->timesAsked(), 1);

    run.reset();
    auto next = startRun();
    next->requestIfNeeded();
    ASSERT_TRUE(userIsAsked());
    EXPECT_EQ(desktop->timesAsked(), 2);
}

TEST_F(RemoteDesktopKeyboardAccessTest, ARefusalIsAStateUntilTheUserAsksAgain) {
    ASSERT_NO_FATAL_FAILURE(startDesktop(2));
    auto run = startRun();
    run->requestIfNeeded();
    ASSERT_TRUE(userIsAsked());
    // Shared, but without the keyboard: nothing to paste with.
    desktop->answerUser(0, false);
    ASSERT_TRUE(reaches(*run, State::refused));
    EXPECT_TRUE(waitUntil([&] { return desktop->openSessions().isEmpty(); },
                          "the keyboardless session to close"));
    EXPECT_FALSE(runTask(run->pressPasteShortcut()));

    // Neither a recording nor a paste asks again, in this run or the next.
    const QStringList calls = desktop->calls();
    run->requestIfNeeded();
    EXPECT_EQ(runTask(run->keyboardForDelivery()), Readiness::none);
    run.reset();
    auto next = startRun();
    EXPECT_EQ(next->state(), State::refused);
    next->requestIfNeeded();
    testing::processEventsFor(50ms);
    EXPECT_EQ(desktop->calls(), calls);
    EXPECT_EQ(desktop->timesAsked(), 1);

    // The user asks from the permission step, and says no in the window.
    next->request();
    ASSERT_TRUE(userIsAsked());
    desktop->answerUser(1);
    ASSERT_TRUE(reaches(*next, State::refused));
    next->request();
    ASSERT_TRUE(userIsAsked());
    desktop->answerUser(0);
    ASSERT_TRUE(reaches(*next, State::granted));
    EXPECT_FALSE(store.remoteDesktopKeyboardRefused());
    EXPECT_EQ(logLines(QStringLiteral("permission.remote-keyboard")).filter(u"refused").size(), 2);
}

TEST_F(RemoteDesktopKeyboardAccessTest, TheWaitsForTheUserAreBounded) {
    ASSERT_NO_FATAL_FAILURE(startDesktop(2));
    auto run = startRun();
    // A paste that has to ask waits a while for the answer; the desktop's
    // window stays for a later one.
    std::optional<Readiness> outcome;
    QCoro::Task<void> delivery = deliver(run.get(), &outcome);
    ASSERT_TRUE(userIsAsked());
    ASSERT_TRUE(waitUntil([&] { return pendingSleep(Access::deliveryWaitLimit).has_value(); },
                          "the paste's limit"));
    EXPECT_FALSE(outcome);
    sleeper.wake(*pendingSleep(Access::deliveryWaitLimit));
    runTask(std::move(delivery));
    EXPECT_EQ(outcome, Readiness::none);
    EXPECT_EQ(run->state(), State::requesting);
    EXPECT_EQ(desktop->waitingForUser(), 1);

    // Left alone for a minute, the window is closed: no refusal.
    sleeper.wake(*pendingSleep(Access::consentLimit));
    ASSERT_TRUE(reaches(*run, State::notRequested));
    ASSERT_TRUE(
        waitUntil([&] { return desktop->waitingForUser() == 0; }, "the desktop's window to close"));
    EXPECT_TRUE(desktop->calls().contains(QStringLiteral("Request.Close")));
    EXPECT_EQ(logLines(QStringLiteral("permission.remote-keyboard")).filter(u"no-answer"),
              QStringList{QStringLiteral("no-answer | waited=60s")});

    // Answered in time, both limits are lifted.
    delivery = deliver(run.get(), &outcome);
    ASSERT_TRUE(userIsAsked());
    ASSERT_TRUE(waitUntil([&] { return pendingSleep(Access::deliveryWaitLimit).has_value(); },
                          "the paste's limit"));
    const std::size_t consent = *pendingSleep(Access::consentLimit);
    const std::size_t paste = *pendingSleep(Access::deliveryWaitLimit);
    desktop->answerUser(0);
    runTask(std::move(delivery));
    EXPECT_EQ(outcome, Readiness::openedNow);
    EXPECT_TRUE(sleeper.at(consent).wasCancelled());
    EXPECT_TRUE(sleeper.at(paste).wasCancelled());
}

TEST_F(RemoteDesktopKeyboardAccessTest, ADesktopThatLendsNoKeyboardIsSaidSoAndNeverAsked) {
    // No portal on the bus at all.
    auto run = startRun();
    ASSERT_TRUE(reaches(*run, State::unavailable));
    run->requestIfNeeded();
    EXPECT_EQ(runTask(run->keyboardForDelivery()), Readiness::none);
}

// A request the desktop ends with neither a yes nor a no (2: GNOME's
// answer when its session fails to start), a session it cannot open, a
// portal still starting that answers late: none of that says the desktop
// lends no keyboard, so the next recording, or the user's button, asks
// again.
TEST_F(RemoteDesktopKeyboardAccessTest, NeitherAYesNorANoNorALatePortalMeansNoKeyboard) {
    ASSERT_NO_FATAL_FAILURE(startDesktop(1));
    // What the log says when a look at the portal ends without an answer.
    const auto endings = [&] {
        const QStringList lines = logLines(QStringLiteral("permission.remote-keyboard"));
        return lines.filter(u"unanswered").size() + lines.filter(u"unavailable").size();
    };
    qsizetype seen = 0;
    const auto endsUnanswered = [&](RemoteDesktopKeyboardAccess &access) {
        const bool ended = waitUntil([&] { return endings() > seen; }, "the asking to end");
        seen = endings();
        return ended && access.state() == State::notRequested;
    };
    auto run = startRun();
    run->requestIfNeeded();
    ASSERT_TRUE(userIsAsked());
    desktop->answerUser(2);
    EXPECT_TRUE(endsUnanswered(*run)) << "the keyboard is " << int(run->state());
    std::optional<Readiness> outcome;
    QCoro::Task<void> delivery = deliver(run.get(), &outcome);
    ASSERT_TRUE(userIsAsked());
    desktop->answerUser(0);
    runTask(std::move(delivery));
    EXPECT_EQ(outcome, Readiness::openedNow);
    EXPECT_EQ(desktop->timesAsked(), 2);

    // A session the desktop could not open; the user's button asks again.
    run.reset();
    desktop->answerSessionsWith(2);
    auto next = startRun();
    next->requestIfNeeded();
    EXPECT_EQ(next->state(), State::requesting);
    EXPECT_TRUE(endsUnanswered(*next)) << "the keyboard is " << int(next->state());
    desktop->answerSessionsWith(0);
    next->request();
    ASSERT_TRUE(userIsAsked());
    desktop->answerUser(0);
    ASSERT_TRUE(reaches(*next, State::granted));

    // A version that did not come in time, when the run starts and when a
    // recording asks.
    next.reset();
    desktop->answerVersionLate(true);
    auto late = startRun();
    EXPECT_TRUE(endsUnanswered(*late)) << "the keyboard is " << int(late->state());
    late->requestIfNeeded();
    EXPECT_TRUE(endsUnanswered(*late)) << "the keyboard is " << int(late->state());
    desktop->answerVersionLate(false);
    late->requestIfNeeded();
    ASSERT_TRUE(userIsAsked());
    desktop->answerUser(0);
    ASSERT_TRUE(reaches(*late, State::granted));
}

// A portal that exits (the bus starts it again on demand) takes its
// sessions with it, and a key the portal did not take may still be carried
// out once it recovers: either way the grant is given up, no key goes down
// on the session left behind, and the keyboard is asked for again.
TEST_F(RemoteDesktopKeyboardAccessTest, AGrantEndsWithItsPortalOrAKeyItDidNotTake) {
    ASSERT_NO_FATAL_FAILURE(startDesktop(1));
    auto run = startRun();
    ASSERT_NO_FATAL_FAILURE(grant(*run));

    desktop.reset();
    ASSERT_TRUE(reaches(*run, State::notRequested));
    EXPECT_FALSE(run->isLent());
    ASSERT_NO_FATAL_FAILURE(startDesktop(1));
    std::optional<Readiness> outcome;
    QCoro::Task<void> delivery = deliver(run.get(), &outcome);
    ASSERT_TRUE(userIsAsked());
    // Gone while its window asks: the asking ends with it.
    desktop.reset();
    runTask(std::move(delivery));
    EXPECT_EQ(outcome, Readiness::none);
    EXPECT_EQ(run->state(), State::notRequested);

    ASSERT_NO_FATAL_FAILURE(startDesktop(1));
    delivery = deliver(run.get(), &outcome);
    ASSERT_TRUE(userIsAsked());
    desktop->answerUser(0);
    runTask(std::move(delivery));
    EXPECT_EQ(outcome, Readiness::openedNow);
    EXPECT_TRUE(runTask(run->pressPasteShortcut()));
    EXPECT_EQ(desktop->keys(), pasteKeys);

    desktop->refuseKeys(true);
    EXPECT_FALSE(runTask(run->pressPasteShortcut()));
    EXPECT_EQ(run->state(), State::notRequested);
    EXPECT_FALSE(runTask(run->pressPasteShortcut()));
    ASSERT_TRUE(waitUntil([&] { return desktop->openSessions().isEmpty(); },
                          "the session given up to close"));
    // Control was refused; after it only releases, and v never went down.
    EXPECT_EQ(desktop->refusedKeys(),
              (QStringList{QStringLiteral("65507 1"), QStringLiteral("118 0"),
                           QStringLiteral("65507 0")}));
    EXPECT_EQ(desktop->keys(), pasteKeys);
}

TEST_F(RemoteDesktopKeyboardAccessTest, ASessionTheDesktopEndsIsAskedForAgain) {
    ASSERT_NO_FATAL_FAILURE(startDesktop(1));
    auto run = startRun();
    ASSERT_NO_FATAL_FAILURE(grant(*run));
    desktop->closeFromDesktop(desktop->openSessions().value(0));
    ASSERT_TRUE(reaches(*run, State::notRequested));
    EXPECT_FALSE(runTask(run->pressPasteShortcut()));

    std::optional<Readiness> outcome;
    QCoro::Task<void> delivery = deliver(run.get(), &outcome);
    ASSERT_TRUE(userIsAsked());
    desktop->answerUser(0);
    runTask(std::move(delivery));
    EXPECT_EQ(outcome, Readiness::openedNow);
}

} // namespace
} // namespace tovalit
