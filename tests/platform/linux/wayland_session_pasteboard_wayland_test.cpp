// The clipboard around a paste in a KDE Plasma session (as on wlroots
// desktops, whose compositors offer data control): the user copies in
// native Wayland windows and in X11 ones, and the compositor keeps the
// session's clipboard and the X server's apart while a native window has
// the focus.

#include "platform/linux/qt_clipboard_pasteboard.h"
#include "platform/linux/wayland_data_control_selection.h"
#include "platform/linux/wayland_session_pasteboard.h"
#include "services/text_injection/pasteboard_snapshot.h"
#include "tests/support/qt_printers.h"
#include "tests/support/run_task.h"
#include "tests/support/scoped_environment_variable.h"
#include "tests/support/test_editor_process.h"
#include "tests/support/test_session.h"
#include "tests/support/wayland_clipboard_client.h"
#include "tests/support/x_clipboard_client.h"
#include "tests/support/xdotool.h"

#include <QElapsedTimer>
#include <QTimer>

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using namespace std::chrono_literals;
using testing::runTask;
using testing::waitUntil;
using testing::WaylandClipboardClient;

class WaylandSessionPasteboardTest : public ::testing::Test {
protected:
    void SetUp() override {
        TOVALIT_REQUIRE_ENVIRONMENT(!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
                                        !qEnvironmentVariableIsEmpty("DISPLAY"),
                                    "needs the Wayland session of scripts/test");
        TOVALIT_ONLY_ON_DESKTOP("KDE", "GNOME's compositor offers no data control");
    }

    // The clipboard as the application makes it, with an X window in
    // front or not.
    static std::unique_ptr<WaylandSessionPasteboard>
    sessionPasteboard(bool xWindowInFront, ClipboardReadLimits limits = {}) {
        auto selection =
            WaylandDataControlSelection::connect(QtClipboardPasteboard::ownWriteType, limits);
        EXPECT_TRUE(selection) << "the compositor offers no data control";
        if (!selection)
            return nullptr;
        return std::make_unique<WaylandSessionPasteboard>(
            std::make_shared<QtClipboardPasteboard>(), std::move(selection),
            [xWindowInFront] { return xWindowInFront; });
    }

    // What the insertion does with the dictated text.
    static void write(Pasteboard &pasteboard, const QString &text) {
        PasteboardItem item;
        item.setString(text);
        pasteboard.clearContents();
        ASSERT_TRUE(pasteboard.writeObjects({item}));
    }

    // Whether the session's clipboard comes to hold `text`, with an X
    // window in front. While the compositor takes the X server's
    // clipboard in, just after an X owner went, it may for a moment offer
    // what nobody answers for: a paste that meets that is given up on and
    // tried again, rather than waited for to the end.
    static bool sessionComesToHold(const QString &text, const char *description) {
        return waitUntil([&] { return WaylandClipboardClient::paste(2s) == text; }, description,
                         20s);
    }

    static std::optional<QString> textOf(const PasteboardSnapshot &snapshot) {
        if (snapshot.items.isEmpty())
            return std::nullopt;
        if (const auto data = snapshot.items[0].makePasteboardItem().data(Pasteboard::stringType))
            return QString::fromUtf8(*data);
        return std::nullopt;
    }
};

// The user copied in a native window, which the X server never saw:
// that is what is kept and comes back after the dictation, and a copy
// made while the dictated text is on the clipboard is the user's to keep.
TEST_F(WaylandSessionPasteboardTest, WithANativeWindowInFrontTheSessionsClipboardIsKeptAndPutBack) {
    ASSERT_TRUE(testing::xdotool({QStringLiteral("getactivewindow")}).isEmpty())
        << "an X window has the focus";
    auto pasteboard = sessionPasteboard(false);
    ASSERT_TRUE(pasteboard);
    const QString copied = QStringLiteral("用户在原生窗口复制的");
    auto user = WaylandClipboardClient::copy(copied);
    ASSERT_TRUE(user);

    const PasteboardSnapshot kept(runTask(pasteboard->pasteboardItems()));
    EXPECT_EQ(textOf(kept), copied);
    ASSERT_NO_FATAL_FAILURE(write(*pasteboard, QStringLiteral("听写的文字")));
    const qint64 written = pasteboard->changeCount();
    EXPECT_EQ(WaylandClipboardClient::paste(), QStringLiteral("听写的文字"));
    // Our own copy reaching the session is no change.
    testing::processEventsFor(100ms);
    ASSERT_EQ(pasteboard->changeCount(), written);
    kept.writeBack(*pasteboard);
    EXPECT_EQ(WaylandClipboardClient::paste(), copied);

    ASSERT_NO_FATAL_FAILURE(write(*pasteboard, QStringLiteral("第二次听写")));
    const qint64 secondWrite = pasteboard->changeCount();
    auto meanwhile = WaylandClipboardClient::copy(QStringLiteral("刚刚复制的"));
    ASSERT_TRUE(meanwhile);
    EXPECT_TRUE(waitUntil([&] { return pasteboard->changeCount() != secondWrite; },
                          "the count to move for the user's copy"));
}

// With an X window in front the compositor takes our write on the X
// server's clipboard into the session by a copy of its own: still ours,
// so the restore after a paste there goes ahead; a copy in an X window
// reaches the session the same way and is the user's.
TEST_F(WaylandSessionPasteboardTest, WithAnXWindowInFrontOurWriteTakenIntoTheSessionIsNoChange) {
    const testing::ScopedEnvironmentVariable backend("GDK_BACKEND", QByteArray("x11"));
    auto editor = testing::TestEditorProcess::start(testing::TestEditorProcess::Toolkit::Gtk,
                                                    QStringLiteral("X 窗口"), QString(), 0);
    ASSERT_TRUE(editor);
    ASSERT_FALSE(testing::xdotool({QStringLiteral("getactivewindow")}).isEmpty())
        << "the editor is no active X window";
    auto pasteboard = sessionPasteboard(true);
    ASSERT_TRUE(pasteboard);
    const QString copied = QStringLiteral("先前复制的");
    auto user = WaylandClipboardClient::copy(copied);
    ASSERT_TRUE(user);

    const PasteboardSnapshot kept(runTask(pasteboard->pasteboardItems()));
    EXPECT_EQ(textOf(kept), copied);
    ASSERT_NO_FATAL_FAILURE(write(*pasteboard, QStringLiteral("听写的文字")));
    const qint64 written = pasteboard->changeCount();
    EXPECT_TRUE(sessionComesToHold(QStringLiteral("听写的文字"),
                                   "the compositor to take our write into the session"));
    EXPECT_EQ(testing::XClipboardClient::paste(), QStringLiteral("听写的文字"));
    testing::processEventsFor(100ms);
    ASSERT_EQ(pasteboard->changeCount(), written);
    kept.writeBack(*pasteboard);
    EXPECT_TRUE(sessionComesToHold(copied, "the kept copy back in the session"));

    ASSERT_NO_FATAL_FAILURE(write(*pasteboard, QStringLiteral("第二次听写")));
    const qint64 secondWrite = pasteboard->changeCount();
    auto other = testing::XClipboardClient::copy(QStringLiteral("X 窗口里复制的"));
    ASSERT_TRUE(other);
    EXPECT_TRUE(waitUntil([&] { return pasteboard->changeCount() != secondWrite; },
                          "the count to move for the copy in the X window"));

    // An empty clipboard put back: the compositor would keep offering our
    // emptied X clipboard, and a snapshot would wait for it in vain.
    other.reset();
    ASSERT_NO_FATAL_FAILURE(write(*pasteboard, QStringLiteral("第三次听写")));
    ASSERT_TRUE(sessionComesToHold(QStringLiteral("第三次听写"),
                                   "the compositor to take our write into the session"));
    EXPECT_EQ(testing::XClipboardClient::paste(), QStringLiteral("第三次听写"));
    PasteboardSnapshot().writeBack(*pasteboard);
    const QList<PasteboardItem> emptied = runTask(pasteboard->pasteboardItems());
    EXPECT_TRUE(emptied.isEmpty())
        << emptied.value(0).representations.value(0).missingReason.toStdString();
}

// A large copy of the user's that we offer (as a restore leaves it), read
// by pastes that stall: the dictation's write still reaches the session,
// and the copy comes back after it.
TEST_F(WaylandSessionPasteboardTest, PastesThatStallHoldUpNeitherTheWriteNorTheRestore) {
    auto pasteboard = sessionPasteboard(false);
    ASSERT_TRUE(pasteboard);
    // 4 MiB of text, far more than a pipe holds.
    const QString large = QString(u'长').repeated((4 << 20) / 3);
    PasteboardItem copy;
    copy.setString(large);
    PasteboardSnapshot(QList<PasteboardItem>{copy}).writeBack(*pasteboard);

    std::vector<std::unique_ptr<testing::StalledWaylandPaste>> stalled;
    for (int i = 0; i < 3; ++i)
        stalled.push_back(std::make_unique<testing::StalledWaylandPaste>());
    ASSERT_TRUE(waitUntil(
        [&] {
            return std::all_of(stalled.begin(), stalled.end(),
                               [](const auto &paste) { return paste->receiving(); });
        },
        "every paste to be sent the first bytes"));

    const PasteboardSnapshot kept(runTask(pasteboard->pasteboardItems()));
    // Compared whole, not printed: 4 MiB.
    EXPECT_TRUE(textOf(kept) == large) << "the snapshot misses the copy";
    ASSERT_NO_FATAL_FAILURE(write(*pasteboard, QStringLiteral("听写的文字")));
    EXPECT_EQ(WaylandClipboardClient::paste(), QStringLiteral("听写的文字"));
    kept.writeBack(*pasteboard);
    EXPECT_TRUE(WaylandClipboardClient::paste() == large) << "the copy did not come back";
}

TEST_F(WaylandSessionPasteboardTest, AnOwnerThatNeverAnswersHoldsUpNeitherTheWindowNorTheSnapshot) {
    auto pasteboard = sessionPasteboard(false, ClipboardReadLimits{200ms, 1000ms, 1 << 20});
    ASSERT_TRUE(pasteboard);
    auto user = WaylandClipboardClient::copy(QStringLiteral("卡住了"));
    ASSERT_TRUE(user);
    user->hang();

    int ticks = 0;
    QTimer ticker;
    ticker.setInterval(10);
    QObject::connect(&ticker, &QTimer::timeout, [&ticks] { ++ticks; });
    ticker.start();
    QElapsedTimer elapsed;
    elapsed.start();
    const QList<PasteboardItem> items = runTask(pasteboard->pasteboardItems());
    EXPECT_GE(ticks, 5) << "the GUI thread waited with the snapshot";
    EXPECT_LT(elapsed.elapsed(), 3000) << "the snapshot waited past its limit";
    // Nothing could be read, and the reason is there for the log.
    ASSERT_EQ(items.size(), 1);
    for (const PasteboardRepresentation &representation : items[0].representations) {
        EXPECT_FALSE(representation.data) << representation.type.toStdString();
        EXPECT_FALSE(representation.missingReason.isEmpty());
    }
    EXPECT_TRUE(items[0].representations.value(0).missingReason.contains(u"no answer"))
        << items[0].representations.value(0).missingReason.toStdString();

    // KDE's compositor keeps offering what a client that is gone copied;
    // the next dictation does not wait for it again.
    const QList<PasteboardItem> again = runTask(pasteboard->pasteboardItems());
    ASSERT_EQ(again.size(), 1);
    EXPECT_EQ(again[0].representations.value(0).missingReason,
              QStringLiteral("no answer from the owner before"));
}

} // namespace
} // namespace tovalit
