#include "platform/linux/qt_clipboard_pasteboard.h"
#include "tests/support/qt_printers.h"
#include "tests/support/run_task.h"
#include "tests/support/test_editor_process.h"
#include "tests/support/test_session.h"
#include "tests/support/x_clipboard_client.h"

#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QTimer>

#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <xcb/xcb.h>

namespace tovalit {
namespace {

using namespace std::chrono_literals;
using testing::XClipboardClient;

// Reads the clipboard as a snapshot does, counting the turns the GUI
// thread's event loop took meanwhile (a timer every 10 ms).
struct TimedSnapshot {
    QList<PasteboardItem> items;
    int ticks = 0;
    qint64 milliseconds = 0;
};

TimedSnapshot snapshotOf(Pasteboard &pasteboard) {
    TimedSnapshot result;
    QTimer ticker;
    ticker.setInterval(10);
    QObject::connect(&ticker, &QTimer::timeout, [&result] { ++result.ticks; });
    ticker.start();
    QElapsedTimer elapsed;
    elapsed.start();
    result.items = testing::runTask(pasteboard.pasteboardItems());
    result.milliseconds = elapsed.elapsed();
    return result;
}

// What a representation says about itself, for failure messages.
std::string describe(const QList<PasteboardItem> &items) {
    std::string text;
    for (const PasteboardItem &item : items) {
        for (const PasteboardRepresentation &representation : item.representations) {
            text += representation.type.toStdString() + ": " +
                    (representation.data ? std::to_string(representation.data->size()) + " bytes"
                                         : representation.missingReason.toStdString()) +
                    "\n";
        }
    }
    return text;
}

// The clipboard_owner tool in a process of its own.
class ClipboardOwner {
public:
    ClipboardOwner(const QString &text, qsizetype imageBytes, const QStringList &imageTypes) {
        m_process.start(testing::testToolPath(QStringLiteral("clipboard_owner")),
                        {QStringLiteral("--text"), text, QStringLiteral("--image-bytes"),
                         QString::number(imageBytes), QStringLiteral("--image-types"),
                         imageTypes.join(QLatin1Char(','))});
    }
    ~ClipboardOwner() {
        m_process.terminate();
        if (!m_process.waitForFinished(3000))
            m_process.kill();
    }
    bool waitUntilOwner() {
        return testing::waitUntil(
            [this] {
                m_output += m_process.readAllStandardOutput();
                return m_output.contains("ready\n");
            },
            "the clipboard owner", 15s);
    }
    // The forms it was asked for since it became the owner.
    QStringList served() {
        m_output += m_process.readAllStandardOutput();
        QStringList result;
        const QByteArray afterReady = m_output.mid(m_output.indexOf("ready\n") + 6);
        for (const QByteArray &line : afterReady.split('\n')) {
            if (line.startsWith("served "))
                result.append(QString::fromUtf8(line.mid(7)));
        }
        return result;
    }

private:
    QProcess m_process;
    QByteArray m_output;
};

// Another X client that takes a selection with the server's time of the
// moment, later than any X event this process has handled: a copy in
// another program while ours has had no X events for a while.
class FreshlyStampedOwner {
public:
    FreshlyStampedOwner()
        : m_connection(xcb_connect(nullptr, nullptr)) {
        if (xcb_connection_has_error(m_connection))
            return;
        const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
        m_window = xcb_generate_id(m_connection);
        const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, m_window, screen->root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK,
                          &events);
    }
    ~FreshlyStampedOwner() { xcb_disconnect(m_connection); }
    FreshlyStampedOwner(const FreshlyStampedOwner &) = delete;
    FreshlyStampedOwner &operator=(const FreshlyStampedOwner &) = delete;

    bool take(const char *selection) {
        if (m_window == XCB_NONE)
            return false;
        // Every event this process handled is from before the first
        // reading; the server's clock moves on within a millisecond.
        const xcb_timestamp_t handled = serverTime();
        xcb_timestamp_t now = serverTime();
        while (now == handled && now != XCB_CURRENT_TIME)
            now = serverTime();
        const xcb_atom_t atom = intern(selection);
        xcb_set_selection_owner(m_connection, m_window, atom, now);
        return now != XCB_CURRENT_TIME && ownerOf(atom) == m_window;
    }

private:
    // The time of a change to our own window's property, as the server
    // tells it.
    xcb_timestamp_t serverTime() {
        xcb_change_property(m_connection, XCB_PROP_MODE_APPEND, m_window, XCB_ATOM_WM_NAME,
                            XCB_ATOM_STRING, 8, 0, nullptr);
        xcb_flush(m_connection);
        while (xcb_generic_event_t *event = xcb_wait_for_event(m_connection)) {
            const bool change = (event->response_type & ~0x80) == XCB_PROPERTY_NOTIFY;
            const xcb_timestamp_t time =
                change ? reinterpret_cast<xcb_property_notify_event_t *>(event)->time : 0;
            std::free(event);
            if (change)
                return time;
        }
        return XCB_CURRENT_TIME;
    }
    xcb_atom_t intern(const char *name) {
        xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
            m_connection, xcb_intern_atom(m_connection, 0, uint16_t(std::strlen(name)), name),
            nullptr);
        const xcb_atom_t atom = reply ? reply->atom : XCB_NONE;
        std::free(reply);
        return atom;
    }
    xcb_window_t ownerOf(xcb_atom_t selection) {
        xcb_get_selection_owner_reply_t *reply = xcb_get_selection_owner_reply(
            m_connection, xcb_get_selection_owner(m_connection, selection), nullptr);
        const xcb_window_t owner = reply ? reply->owner : XCB_NONE;
        std::free(reply);
        return owner;
    }

    xcb_connection_t *m_connection;
    xcb_window_t m_window = XCB_NONE;
};

class QtClipboardPasteboardTest : public ::testing::Test {
protected:
    void SetUp() override { TOVALIT_REQUIRE_DISPLAY(); }

    // The targets another application is offered.
    static QStringList targets() {
        QProcess reader;
        reader.start(QStringLiteral("xclip"), {QStringLiteral("-o"), QStringLiteral("-selection"),
                                               QStringLiteral("clipboard"), QStringLiteral("-t"),
                                               QStringLiteral("TARGETS")});
        testing::waitUntil([&] { return reader.state() == QProcess::NotRunning; },
                           "xclip to list the targets");
        return QString::fromUtf8(reader.readAllStandardOutput())
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    QtClipboardPasteboard pasteboard;
};

TEST_F(QtClipboardPasteboardTest, AnOwnerThatNeverAnswersHoldsUpNeitherTheWindowNorTheSnapshot) {
    QtClipboardPasteboard bounded(ClipboardReadLimits{200ms, 1000ms, 1 << 20});
    auto other = XClipboardClient::copy(QStringLiteral("held up"));
    ASSERT_TRUE(other);
    other->hang();

    const TimedSnapshot snapshot = snapshotOf(bounded);
    EXPECT_GE(snapshot.ticks, 5) << "the GUI thread waited with the snapshot";
    EXPECT_LT(snapshot.milliseconds, 3000) << "the snapshot waited past its limit";
    // Nothing could be read, and the reason is there for the log.
    ASSERT_EQ(snapshot.items.size(), 1) << describe(snapshot.items);
    for (const PasteboardRepresentation &representation : snapshot.items[0].representations) {
        EXPECT_FALSE(representation.data) << describe(snapshot.items);
        EXPECT_TRUE(representation.missingReason.contains(QStringLiteral("no answer")))
            << describe(snapshot.items);
    }
}

TEST_F(QtClipboardPasteboardTest, ALargeImageIsReadOnceInOneEncodingAndOnlyWithinTheLimit) {
    // Larger than one X request: the owner hands it over in pieces.
    const qsizetype imageBytes = 20 << 20;
    const QStringList encodings{QStringLiteral("image/bmp"), QStringLiteral("image/png"),
                                QStringLiteral("image/jpeg")};
    {
        ClipboardOwner owner(QStringLiteral("截图说明"), imageBytes, encodings);
        ASSERT_TRUE(owner.waitUntilOwner());
        QtClipboardPasteboard roomy(ClipboardReadLimits{2000ms, 10000ms, 32 << 20});
        const TimedSnapshot snapshot = snapshotOf(roomy);
        ASSERT_EQ(snapshot.items.size(), 1);
        const PasteboardItem &item = snapshot.items[0];
        EXPECT_EQ(item.data(Pasteboard::stringType), QStringLiteral("截图说明").toUtf8())
            << describe(snapshot.items);
        const std::optional<QByteArray> png = item.data(QStringLiteral("image/png"));
        ASSERT_TRUE(png) << describe(snapshot.items);
        EXPECT_EQ(png->size(), imageBytes);
        EXPECT_TRUE(png->startsWith("image/png"));
        EXPECT_FALSE(item.data(QStringLiteral("image/bmp")));
        EXPECT_FALSE(item.data(QStringLiteral("image/jpeg")));
        QStringList images = owner.served().filter(QStringLiteral("image/"));
        EXPECT_EQ(images, QStringList{QStringLiteral("image/png")})
            << "the image was converted for every encoding offered";
    }
    {
        // Over the size limit the image is left out, and the text kept.
        ClipboardOwner owner(QStringLiteral("截图说明"), imageBytes, encodings);
        ASSERT_TRUE(owner.waitUntilOwner());
        QtClipboardPasteboard tight(ClipboardReadLimits{2000ms, 10000ms, 1 << 20});
        const TimedSnapshot snapshot = snapshotOf(tight);
        ASSERT_EQ(snapshot.items.size(), 1);
        const PasteboardItem &item = snapshot.items[0];
        EXPECT_EQ(item.data(Pasteboard::stringType), QStringLiteral("截图说明").toUtf8());
        const auto skipped =
            std::find_if(item.representations.begin(), item.representations.end(),
                         [](const PasteboardRepresentation &r) { return r.type == u"image/png"; });
        ASSERT_NE(skipped, item.representations.end()) << describe(snapshot.items);
        EXPECT_FALSE(skipped->data);
        EXPECT_TRUE(skipped->missingReason.contains(QStringLiteral("larger than")))
            << describe(snapshot.items);
    }
}

TEST_F(QtClipboardPasteboardTest, OwnWriteIsServedAndCountsOnceUntilSomebodyElseCopies) {
    PasteboardItem item;
    item.setString(QStringLiteral("你好"));
    item.setData(QStringLiteral("text/html"), QByteArray("<b>你好</b>"));
    ASSERT_TRUE(pasteboard.writeObjects({item}));
    const qint64 written = pasteboard.changeCount();
    testing::processEventsFor(std::chrono::milliseconds(50));
    EXPECT_EQ(pasteboard.changeCount(), written);

    EXPECT_EQ(XClipboardClient::paste(), QStringLiteral("你好"));
    EXPECT_TRUE(targets().contains(QStringLiteral("text/html")));
    const QList<PasteboardItem> items = testing::runTask(pasteboard.pasteboardItems());
    ASSERT_EQ(items.size(), 1);
    EXPECT_EQ(items[0].data(Pasteboard::stringType), QStringLiteral("你好").toUtf8());
    EXPECT_EQ(items[0].data(QStringLiteral("text/html")), QByteArray("<b>你好</b>"));
    EXPECT_FALSE(items[0].data(QtClipboardPasteboard::ownWriteType));

    auto other = XClipboardClient::copy(QStringLiteral("别人的"));
    ASSERT_TRUE(other);
    EXPECT_NE(pasteboard.changeCount(), written);
    const QList<PasteboardItem> theirs = testing::runTask(pasteboard.pasteboardItems());
    ASSERT_EQ(theirs.size(), 1);
    EXPECT_EQ(theirs[0].data(Pasteboard::stringType), QStringLiteral("别人的").toUtf8());
}

TEST_F(QtClipboardPasteboardTest, EveryCopyByAnotherApplicationMovesTheCount) {
    QObject context;
    int notices = 0;
    QObject::connect(QGuiApplication::clipboard(), &QClipboard::changed, &context,
                     [&notices](QClipboard::Mode mode) {
                         if (mode == QClipboard::Clipboard)
                             ++notices;
                     });
    PasteboardItem item;
    item.setString(QStringLiteral("ours"));
    ASSERT_TRUE(pasteboard.writeObjects({item}));
    const qint64 written = pasteboard.changeCount();
    const int noticesBefore = notices;
    auto other = XClipboardClient::copy(QStringLiteral("theirs"));
    ASSERT_TRUE(other);
    EXPECT_NE(pasteboard.changeCount(), written);
    // The change notice of that copy may reach us only now and move the
    // count again; count from after it, so that only the next copy can.
    ASSERT_TRUE(testing::waitUntil([&] { return notices > noticesBefore; },
                                   "the change notice of the first copy"));
    const qint64 afterOther = pasteboard.changeCount();
    // Between two other clients only the change notice tells us; it may
    // still be on its way when the new owner already answers.
    auto another = XClipboardClient::copy(QStringLiteral("another"));
    ASSERT_TRUE(another);
    EXPECT_TRUE(testing::waitUntil([&] { return pasteboard.changeCount() != afterOther; },
                                   "the count to move for the second copy"));
}

TEST_F(QtClipboardPasteboardTest, ClearedClipboardOffersNothing) {
    PasteboardItem item;
    item.setString(QStringLiteral("gone soon"));
    ASSERT_TRUE(pasteboard.writeObjects({item}));
    const qint64 written = pasteboard.changeCount();
    pasteboard.clearContents();
    const qint64 cleared = pasteboard.changeCount();
    EXPECT_NE(cleared, written);
    EXPECT_TRUE(testing::runTask(pasteboard.pasteboardItems()).isEmpty());
    EXPECT_FALSE(XClipboardClient::paste());
    EXPECT_FALSE(pasteboard.writeObjects({}));
    // Our own clear, carried out, is no copy by somebody else.
    pasteboard.clearContents();
    const qint64 clearedAgain = pasteboard.changeCount();
    testing::processEventsFor(std::chrono::milliseconds(50));
    EXPECT_EQ(pasteboard.changeCount(), clearedAgain);
    EXPECT_FALSE(XClipboardClient::paste());
}

// A clear then a write, as every paste and restore makes them, never give
// the selection to nobody on the way: GNOME's compositor takes a selection
// given to nobody for itself, and on a busy desktop does so after our
// write, which it then takes away. Qt tells of every owner it sets.
TEST_F(QtClipboardPasteboardTest, AClearFollowedByAWriteNeverLeavesTheClipboardToNobody) {
    QtClipboardPasteboard primary({}, QtClipboardPasteboard::Selection::primary);
    for (auto [selection, mode] : {std::pair<Pasteboard *, QClipboard::Mode>{&pasteboard,
                                                                              QClipboard::Clipboard},
                                   {&primary, QClipboard::Selection}}) {
        SCOPED_TRACE(mode == QClipboard::Clipboard ? "CLIPBOARD" : "PRIMARY");
        // The user's copy in another program, or a write of ours.
        std::unique_ptr<XClipboardClient> other;
        if (mode == QClipboard::Clipboard) {
            other = XClipboardClient::copy(QStringLiteral("用户自己的"));
            ASSERT_TRUE(other);
        } else {
            PasteboardItem first;
            first.setString(QStringLiteral("先写的"));
            ASSERT_TRUE(selection->writeObjects({first}));
        }
        int owners = 0;
        QObject context;
        QObject::connect(QGuiApplication::clipboard(), &QClipboard::changed, &context,
                         [&](QClipboard::Mode changed) { owners += changed == mode; });

        selection->clearContents();
        PasteboardItem item;
        item.setString(QStringLiteral("听写的文字"));
        ASSERT_TRUE(selection->writeObjects({item}));
        EXPECT_EQ(owners, 1) << "a clear went out before the write";
        testing::processEventsFor(std::chrono::milliseconds(50));
        const QList<PasteboardItem> items = testing::runTask(selection->pasteboardItems());
        ASSERT_EQ(items.size(), 1);
        EXPECT_EQ(items[0].data(Pasteboard::stringType), QStringLiteral("听写的文字").toUtf8());
    }
}

// A Wayland compositor that takes the X server's clipboard into its
// session does so by asking us for it; until somebody has, our last write
// may not be what a native window pastes.
// Other clients of the session may ask too, unprompted: a GTK 4 program
// (a desktop portal started by an earlier program, say) reads the forms of
// every new clipboard.
TEST_F(QtClipboardPasteboardTest, AWriteIsInTheSessionOnceAnotherClientHasAskedForIt) {
    const auto inSessionOnlyOnceAsked = [this] {
        EXPECT_EQ(pasteboard.sessionHasLastWrite(), !pasteboard.readsOfLastWrite().isEmpty());
    };
    PasteboardItem item;
    item.setString(QStringLiteral("第一次"));
    ASSERT_TRUE(pasteboard.writeObjects({item}));
    testing::processEventsFor(std::chrono::milliseconds(50));
    inSessionOnlyOnceAsked();
    EXPECT_EQ(XClipboardClient::paste(), QStringLiteral("第一次"));
    EXPECT_TRUE(pasteboard.sessionHasLastWrite());

    item.setString(QStringLiteral("第二次"));
    ASSERT_TRUE(pasteboard.writeObjects({item}));
    inSessionOnlyOnceAsked();
    EXPECT_TRUE(targets().contains(QStringLiteral("text/plain")));
    EXPECT_TRUE(pasteboard.sessionHasLastWrite());
}

// A program pasting our write reads it from us: each request names its
// process, so that the program a paste went to can be told from a
// clipboard manager. Asking which forms are on offer takes no content.
TEST_F(QtClipboardPasteboardTest, EachPasteOfOurWriteNamesTheProgramThatTookIt) {
    const auto pasteBy = [](const QString &selection) {
        auto reader = std::make_unique<QProcess>();
        reader->start(QStringLiteral("xclip"),
                      {QStringLiteral("-o"), QStringLiteral("-selection"), selection});
        EXPECT_TRUE(reader->waitForStarted());
        return reader;
    };
    const auto finished = [](QProcess &reader) {
        testing::waitUntil([&] { return reader.state() == QProcess::NotRunning; },
                           "xclip to paste");
        return QString::fromUtf8(reader.readAllStandardOutput());
    };
    const auto contentReads = [](Pasteboard &pasteboard) {
        QList<PasteboardRead> reads = pasteboard.readsOfLastWrite();
        reads.removeIf([](const PasteboardRead &read) { return !read.content; });
        return reads;
    };
    ASSERT_TRUE(pasteboard.seesReads());
    PasteboardItem item;
    item.setString(QStringLiteral("你好"));
    ASSERT_TRUE(pasteboard.writeObjects({item}));
    EXPECT_TRUE(targets().contains(QStringLiteral("text/plain")));
    EXPECT_FALSE(pasteboard.readsOfLastWrite().isEmpty());
    EXPECT_TRUE(contentReads(pasteboard).isEmpty()) << "the forms on offer are no paste";

    const auto reader = pasteBy(QStringLiteral("clipboard"));
    const qint32 readerProcess = qint32(reader->processId());
    EXPECT_EQ(finished(*reader), QStringLiteral("你好"));
    EXPECT_EQ(contentReads(pasteboard), (QList<PasteboardRead>{PasteboardRead{readerProcess}}));
    ASSERT_TRUE(pasteboard.writeObjects({item}));
    EXPECT_TRUE(contentReads(pasteboard).isEmpty()) << "a new write starts afresh";

    // The selection some terminals paste from, apart from the clipboard.
    QtClipboardPasteboard primary({}, QtClipboardPasteboard::Selection::primary);
    item.setString(QStringLiteral("选中的"));
    ASSERT_TRUE(primary.writeObjects({item}));
    const auto primaryReader = pasteBy(QStringLiteral("primary"));
    const qint32 primaryProcess = qint32(primaryReader->processId());
    EXPECT_EQ(finished(*primaryReader), QStringLiteral("选中的"));
    EXPECT_EQ(contentReads(primary), (QList<PasteboardRead>{PasteboardRead{primaryProcess}}));
    EXPECT_TRUE(contentReads(pasteboard).isEmpty());
    EXPECT_EQ(XClipboardClient::paste(), QStringLiteral("你好"));
}

// Qt takes a selection with the time of the last X event it handled; the
// server refuses a time older than that of the owner it replaces.
TEST_F(QtClipboardPasteboardTest, AWriteHoldsAfterAnotherProgramCopiedAtALaterServerTime) {
    QtClipboardPasteboard primary({}, QtClipboardPasteboard::Selection::primary);
    for (auto [selection, name] :
         {std::pair<Pasteboard *, const char *>{&pasteboard, "CLIPBOARD"}, {&primary, "PRIMARY"}}) {
        SCOPED_TRACE(name);
        PasteboardItem item;
        item.setString(QStringLiteral("先写的"));
        ASSERT_TRUE(selection->writeObjects({item}));
        FreshlyStampedOwner other;
        ASSERT_TRUE(other.take(name));

        item.setString(QStringLiteral("听写的文字"));
        ASSERT_TRUE(selection->writeObjects({item}));
        const qint64 written = selection->changeCount();
        const QList<PasteboardItem> items = testing::runTask(selection->pasteboardItems());
        ASSERT_EQ(items.size(), 1);
        EXPECT_EQ(items[0].data(Pasteboard::stringType), QStringLiteral("听写的文字").toUtf8());
        // The other program's change notice, arriving late, is of a time
        // before our write.
        testing::processEventsFor(std::chrono::milliseconds(50));
        EXPECT_EQ(selection->changeCount(), written);
    }
    EXPECT_EQ(XClipboardClient::paste(), QStringLiteral("听写的文字"));
}

} // namespace
} // namespace tovalit
