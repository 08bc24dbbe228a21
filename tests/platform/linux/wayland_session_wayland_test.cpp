// The headless Wayland sessions that the Wayland tests run in, as a
// user's KDE Plasma or GNOME session has them: the desktop's compositor
// with XWayland for X11 clients, the desktop portal with the desktop's
// own backend (KDE's offers global shortcuts; GNOME's, up to GNOME 47,
// none, but the remote desktop), and native Wayland applications whose
// text fields the accessibility bus shows.

#include "platform/accessibility_thread.h"
#include "platform/display_session.h"
#include "platform/linux/atspi_accessibility_client.h"
#include "platform/linux/xdg_global_shortcuts_portal.h"
#include "tests/support/qt_printers.h"
#include "tests/support/run_task.h"
#include "tests/support/scoped_environment_variable.h"
#include "tests/support/test_editor_process.h"
#include "tests/support/xdotool.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>
#include <xcb/xcb.h>

namespace tovalit {
namespace {

using testing::runTask;

class WaylandSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        TOVALIT_REQUIRE_ENVIRONMENT(!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
                                        !qEnvironmentVariableIsEmpty("DISPLAY"),
                                    "needs the Wayland session of scripts/test");
    }
};

// The version of the desktop portal's `interface`; nothing when the portal
// does not offer it.
std::optional<uint> portalVersion(const QString &interface) {
    QDBusMessage get = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.portal.Desktop"),
        QStringLiteral("/org/freedesktop/portal/desktop"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << interface << QStringLiteral("version");
    const QDBusMessage reply = QDBusConnection::sessionBus().call(get, QDBus::Block, 10000);
    if (reply.type() != QDBusMessage::ReplyMessage)
        return std::nullopt;
    return reply.arguments().value(0).value<QDBusVariant>().variant().toUInt();
}

TEST_F(WaylandSessionTest, ACompositorWithXWaylandAndTheDesktopsOwnPortal) {
    EXPECT_TRUE(DisplaySession::fromEnvironment().wayland);
    const QString display = qEnvironmentVariable("WAYLAND_DISPLAY");
    const QString socket = QDir::isAbsolutePath(display)
                               ? display
                               : qEnvironmentVariable("XDG_RUNTIME_DIR") + u'/' + display;
    EXPECT_TRUE(QFileInfo(socket).exists()) << socket.toStdString();

    // X11 clients, ours among them, reach XWayland.
    xcb_connection_t *x = xcb_connect(nullptr, nullptr);
    EXPECT_EQ(xcb_connection_has_error(x), 0);
    xcb_disconnect(x);

    const QString globalShortcuts = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
    const QString remoteDesktop = QStringLiteral("org.freedesktop.portal.RemoteDesktop");
    if (testing::onDesktop("KDE")) {
        EXPECT_EQ(portalVersion(globalShortcuts), 1u);
    } else {
        ASSERT_TRUE(testing::onDesktop("GNOME")) << "a session of KDE or GNOME";
        // As in GNOME 43; no other desktop's backend stands in for it.
        EXPECT_EQ(portalVersion(globalShortcuts), std::nullopt);
        EXPECT_EQ(portalVersion(remoteDesktop), 1u);
    }
}

TEST_F(WaylandSessionTest, TheDesktopPortalOpensASessionAndTakesOurShortcut) {
    TOVALIT_ONLY_ON_DESKTOP("KDE", "GNOME up to 47 has no GlobalShortcuts portal");
    XdgGlobalShortcutsPortal portal;
    const QString session = runTask(portal.createSession());
    EXPECT_TRUE(session.startsWith(QStringLiteral("/org/freedesktop/portal/desktop/session/")))
        << session.toStdString();
    // KDE binds through its settings dialog and lists nothing for an
    // application it knows no identifier of; the answer itself must come.
    const QList<DesktopShortcutRequest> wanted{{QStringLiteral("toggle-recording"),
                                                QStringLiteral("开始或停止录音"),
                                                QStringLiteral("CTRL+ALT+k")}};
    EXPECT_NO_THROW(runTask(portal.bindShortcuts(session, wanted)));
    portal.closeSession(session);
}

TEST_F(WaylandSessionTest, ANativeWaylandEditorsFocusedFieldIsSeenAndWrittenOverAccessibility) {
    ASSERT_TRUE(testing::setDesktopAccessibilityEnabled(true));
    const testing::ScopedEnvironmentVariable backend("GDK_BACKEND", QByteArray("wayland"));
    auto editor = testing::TestEditorProcess::start(testing::TestEditorProcess::Toolkit::Gtk,
                                                    QStringLiteral("原生窗口"),
                                                    QStringLiteral("hello 世界"), 5);
    ASSERT_TRUE(editor);
    const qint32 pid = editor->processIdentifier();
    EXPECT_TRUE(
        testing::xdotool({QStringLiteral("search"), QStringLiteral("--pid"), QString::number(pid)})
            .isEmpty())
        << "the editor is a native Wayland window, which the X server never sees";

    struct Reads {
        std::optional<QString> value;
        std::optional<AccessibilityRange> caret;
        std::optional<QString> windowTitle;
        bool written = false;
        std::optional<QString> valueAfter;
    };
    auto thread = std::make_shared<AccessibilityThread>();
    auto client = std::make_shared<AtspiAccessibilityClient>(thread);
    const auto readFocus = [&] {
        return runTask(thread->run([client, pid] {
            Reads r;
            // Joins the accessibility bus, as the application does first.
            if (!client->isProcessTrusted())
                return r;
            auto app = client->applicationElement(pid);
            auto focused = accessibilityValueAs<AccessibilityElementRef>(
                app->attributeValue(ax::focusedUIElement));
            if (!focused || !*focused)
                return r;
            r.value = accessibilityValueAs<QString>((*focused)->attributeValue(ax::value));
            r.caret = accessibilityValueAs<AccessibilityRange>(
                (*focused)->attributeValue(ax::selectedTextRange));
            auto window = accessibilityValueAs<AccessibilityElementRef>(
                app->attributeValue(ax::focusedWindow));
            if (window && *window)
                r.windowTitle = accessibilityValueAs<QString>((*window)->attributeValue(ax::title));
            if (r.value == QStringLiteral("hello 世界")) {
                r.written = (*focused)->setAttributeValue(ax::value, QStringLiteral("写进去了"));
                r.valueAfter = accessibilityValueAs<QString>((*focused)->attributeValue(ax::value));
            }
            return r;
        }));
    };
    // The editor joins the accessibility bus a moment after its window shows.
    Reads reads;
    ASSERT_TRUE(testing::waitUntil(
        [&] {
            reads = readFocus();
            return reads.value.has_value();
        },
        "the editor's focused field on the accessibility bus"));
    EXPECT_EQ(reads.value, QStringLiteral("hello 世界"));
    EXPECT_EQ(reads.caret, (AccessibilityRange{5, 0}));
    EXPECT_EQ(reads.windowTitle, QStringLiteral("原生窗口"));
    EXPECT_TRUE(reads.written);
    EXPECT_EQ(reads.valueAfter, QStringLiteral("写进去了"));
}

} // namespace
} // namespace tovalit
