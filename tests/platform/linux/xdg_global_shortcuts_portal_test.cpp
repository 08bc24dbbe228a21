// The desktop portal's GlobalShortcuts client against a stand-in portal on
// a bus of the test's own.

#include "platform/linux/xdg_global_shortcuts_portal.h"
#include "tests/support/global_shortcuts_portal_stand_in.h"
#include "tests/support/private_session_bus.h"
#include "tests/support/qt_printers.h"
#include "tests/support/run_task.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace tovalit {
namespace {

using namespace std::chrono_literals;
using Event = DesktopGlobalShortcuts::Event;
using testing::runTask;
using testing::waitUntil;

const DesktopShortcutRequest recording{QStringLiteral("toggle-recording"),
                                       QStringLiteral("开始或停止录音"),
                                       QStringLiteral("CTRL+ALT+k")};

DesktopGlobalShortcutsError::Kind failureOf(QCoro::Task<QList<DesktopShortcut>> task) {
    try {
        runTask(std::move(task));
    } catch (const DesktopGlobalShortcutsError &error) {
        return error.kind();
    }
    ADD_FAILURE() << "the call succeeded";
    return DesktopGlobalShortcutsError::Kind::unavailable;
}

// Binds the recording shortcut and writes down how the bind ended.
QCoro::Task<void> bindRecording(XdgGlobalShortcutsPortal &portal, QString session,
                                std::optional<DesktopGlobalShortcutsError::Kind> *outcome) {
    const QList<DesktopShortcutRequest> wanted{recording};
    try {
        co_await portal.bindShortcuts(session, wanted);
        *outcome = DesktopGlobalShortcutsError::Kind::unavailable;
    } catch (const DesktopGlobalShortcutsError &error) {
        *outcome = error.kind();
    }
}

// Opens a session and writes down how the opening ended.
QCoro::Task<void> openSession(XdgGlobalShortcutsPortal &portal,
                              std::optional<DesktopGlobalShortcutsError::Kind> *outcome) {
    try {
        co_await portal.createSession();
        *outcome = DesktopGlobalShortcutsError::Kind::unavailable;
    } catch (const DesktopGlobalShortcutsError &error) {
        *outcome = error.kind();
    }
}

class XdgGlobalShortcutsPortalTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(bus.isRunning());
        ASSERT_TRUE(desktopStarted);
        portal.installHandler([this](const Event &event) { events.append(event); });
    }

    // Lets signals in flight arrive.
    void settle() { testing::processEventsFor(50ms); }

    testing::PrivateSessionBus bus;
    testing::GlobalShortcutsPortalStandIn desktop{bus.connect()};
    // There before the client, as a desktop's portal is.
    bool desktopStarted = desktop.start();
    XdgGlobalShortcutsPortal portal{bus.connect(), 2s};
    QList<Event> events;
};

TEST_F(XdgGlobalShortcutsPortalTest, OpensASessionBindsListsAndHearsItsShortcuts) {
    const QString session = runTask(portal.createSession());
    EXPECT_EQ(desktop.openSessions(), QStringList{session});

    const QList<DesktopShortcut> bound = runTask(portal.bindShortcuts(session, {recording}));
    const DesktopShortcut expected{recording.id, recording.description,
                                   QStringLiteral("Ctrl+Alt+K")};
    EXPECT_EQ(bound, QList<DesktopShortcut>{expected}) << "the desktop's own words for the keys";
    EXPECT_EQ(runTask(portal.listShortcuts(session)), QList<DesktopShortcut>{expected});
    EXPECT_EQ(desktop.calls(),
              (QStringList{"CreateSession", "BindShortcuts toggle-recording CTRL+ALT+k",
                           "ListShortcuts"}));

    desktop.activate(session, recording.id);
    desktop.deactivate(session, recording.id);
    desktop.rebind(session, recording.id, QStringLiteral("Meta+R"));
    // Another application's session on the same portal is none of ours.
    desktop.activate(session + QStringLiteral("x"), recording.id);
    ASSERT_TRUE(waitUntil([&] { return events.size() >= 3; }, "the portal's signals"));
    settle();
    ASSERT_EQ(events.size(), 3);
    EXPECT_EQ(events[0].kind, Event::Kind::activated);
    EXPECT_EQ(events[0].session, session);
    EXPECT_EQ(events[0].shortcutId, recording.id);
    EXPECT_EQ(events[1].kind, Event::Kind::deactivated);
    EXPECT_EQ(events[2].kind, Event::Kind::shortcutsChanged);
    EXPECT_EQ(events[2].shortcuts, (QList<DesktopShortcut>{{recording.id, recording.description,
                                                            QStringLiteral("Meta+R")}}));

    portal.closeSession(session);
    ASSERT_TRUE(
        waitUntil([&] { return desktop.openSessions().isEmpty(); }, "the session to close"));
    EXPECT_EQ(desktop.calls().last(), QStringLiteral("Session.Close"));
    events.clear();
    desktop.activate(session, recording.id);
    settle();
    EXPECT_TRUE(events.isEmpty()) << "a closed session's shortcut no longer reaches us";
    EXPECT_EQ(failureOf(portal.bindShortcuts(session, {recording})),
              DesktopGlobalShortcutsError::Kind::refused);
}

TEST_F(XdgGlobalShortcutsPortalTest, AnAnswerThatOvertakesTheCallsReplyIsKept) {
    desktop.answerBeforeReplying(true);
    const QString session = runTask(portal.createSession());
    EXPECT_FALSE(session.isEmpty());
    EXPECT_EQ(runTask(portal.bindShortcuts(session, {recording})).size(), 1);
}

TEST_F(XdgGlobalShortcutsPortalTest, TheDesktopsRefusalsAndSilenceAreTold) {
    const QString session = runTask(portal.createSession());
    desktop.answerBindsWith(1);
    EXPECT_EQ(failureOf(portal.bindShortcuts(session, {recording})),
              DesktopGlobalShortcutsError::Kind::cancelled);
    desktop.answerBindsWith(2);
    EXPECT_EQ(failureOf(portal.bindShortcuts(session, {recording})),
              DesktopGlobalShortcutsError::Kind::refused);

    // A portal that takes the call and never answers: given up after the
    // limit, and told so, so that its dialog would not linger.
    XdgGlobalShortcutsPortal impatient(bus.connect(), 50ms);
    desktop.holdAnswers(true);
    try {
        runTask(impatient.createSession());
        ADD_FAILURE() << "a session without an answer";
    } catch (const DesktopGlobalShortcutsError &error) {
        EXPECT_EQ(error.kind(), DesktopGlobalShortcutsError::Kind::noAnswer);
    }
    ASSERT_TRUE(waitUntil([&] { return desktop.heldAnswers() == 0; }, "the request to be closed"));
    EXPECT_EQ(desktop.calls().last(), QStringLiteral("Request.Close"));
}

TEST_F(XdgGlobalShortcutsPortalTest, ABindWaitsForTheUserUntilTheSessionEnds) {
    const QString session = runTask(portal.createSession());
    desktop.holdAnswers(true);
    std::optional<DesktopGlobalShortcutsError::Kind> outcome;
    QCoro::Task<void> binding = bindRecording(portal, session, &outcome);
    ASSERT_TRUE(
        waitUntil([&] { return desktop.heldAnswers() == 1; }, "the bind to reach the desktop"));
    // Much longer than any answer that needs no user.
    testing::processEventsFor(200ms);
    EXPECT_FALSE(outcome) << "a user may take their time";

    portal.closeSession(session);
    runTask(std::move(binding));
    EXPECT_EQ(outcome, DesktopGlobalShortcutsError::Kind::refused);
}

TEST_F(XdgGlobalShortcutsPortalTest, TheDesktopEndingTheSessionIsTold) {
    const QString session = runTask(portal.createSession());
    desktop.closeFromDesktop(session);
    ASSERT_TRUE(waitUntil([&] { return !events.isEmpty(); }, "the session's end"));
    EXPECT_EQ(events[0].kind, Event::Kind::sessionClosed);
    EXPECT_EQ(events[0].session, session);
    EXPECT_EQ(failureOf(portal.listShortcuts(session)), DesktopGlobalShortcutsError::Kind::refused);
}

TEST_F(XdgGlobalShortcutsPortalTest, ThePortalGoingAwayEndsItsSessionsAndItsReturnIsTold) {
    const auto told = [&](Event::Kind kind) {
        return std::any_of(events.begin(), events.end(),
                           [&](const Event &event) { return event.kind == kind; });
    };
    const QString session = runTask(portal.createSession());
    desktop.holdAnswers(true);
    std::optional<DesktopGlobalShortcutsError::Kind> bound;
    QCoro::Task<void> binding = bindRecording(portal, session, &bound);
    std::optional<DesktopGlobalShortcutsError::Kind> opened;
    QCoro::Task<void> opening = openSession(portal, &opened);
    ASSERT_TRUE(waitUntil([&] { return desktop.heldAnswers() == 2; }, "both calls to arrive"));

    // Its process ends without closing anything: what waited on it ends.
    desktop.stop();
    ASSERT_TRUE(waitUntil([&] { return told(Event::Kind::serviceLost); }, "the portal's end"));
    EXPECT_TRUE(events.last().session.isEmpty());
    EXPECT_FALSE(told(Event::Kind::serviceAvailable));
    runTask(std::move(binding));
    EXPECT_EQ(bound, DesktopGlobalShortcutsError::Kind::refused);
    runTask(std::move(opening));
    EXPECT_EQ(opened, DesktopGlobalShortcutsError::Kind::refused);
    EXPECT_EQ(failureOf(portal.listShortcuts(session)), DesktopGlobalShortcutsError::Kind::refused);

    // Another takes the name: told, and its sessions are heard as before.
    events.clear();
    desktop.holdAnswers(false);
    ASSERT_TRUE(desktop.start());
    ASSERT_TRUE(
        waitUntil([&] { return told(Event::Kind::serviceAvailable); }, "the portal's return"));
    const QString again = runTask(portal.createSession());
    runTask(portal.bindShortcuts(again, {recording}));
    desktop.activate(again, recording.id);
    EXPECT_TRUE(waitUntil([&] { return told(Event::Kind::activated); }, "the shortcut's press"));
}

TEST(XdgGlobalShortcutsPortal, NoPortalOnTheBusIsUnavailable) {
    testing::PrivateSessionBus bus;
    ASSERT_TRUE(bus.isRunning());
    XdgGlobalShortcutsPortal portal(bus.connect());
    try {
        runTask(portal.createSession());
        ADD_FAILURE() << "a session without a portal";
    } catch (const DesktopGlobalShortcutsError &error) {
        EXPECT_EQ(error.kind(), DesktopGlobalShortcutsError::Kind::unavailable);
    }
}

} // namespace
} // namespace tovalit
