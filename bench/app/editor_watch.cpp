#include "bench/app/editor_watch.h"

#include "platform/accessibility_thread.h"
#include "platform/display_session.h"
#include "platform/embedded_object_text.h"
#include "platform/linux/atspi_accessibility_client.h"
#include "platform/linux/x11_window_system.h"
#include "platform/linux/xcb_connection.h"
#include "services/context/accessibility_focus.h"
#include "tests/support/run_task.h"

namespace tovalit::bench {

namespace {

// Chromium marks none of its windows active: its field is read in the
// window the X server names, as the application reads it.
std::function<WindowSystemFocus()> windowSystemFocus(std::shared_ptr<X11WindowSystem> windows,
                                                     bool hasX) {
    const bool knowsEveryWindow = hasX && !DisplaySession::fromEnvironment().wayland;
    return [windows = std::move(windows), knowsEveryWindow] {
        return WindowSystemFocus{knowsEveryWindow, windows->focusedWindow()};
    };
}

} // namespace

EditorWatch::EditorWatch()
    : m_thread(std::make_shared<AccessibilityThread>())
    , m_bus(std::make_shared<AtspiBus>()) {
    std::shared_ptr<XcbConnection> x = XcbConnection::open();
    m_windows = std::make_shared<X11WindowSystem>(x, nullptr);
    m_client =
        std::make_shared<AtspiAccessibilityClient>(m_thread, windowSystemFocus(m_windows, bool(x)));
    m_bus->setWindowSystemFocus(windowSystemFocus(m_windows, bool(x)));
}

EditorWatch::~EditorWatch() {
    // Its connection belongs to the thread.
    m_thread->post([bus = std::move(m_bus)]() mutable { bus.reset(); });
}

std::optional<QString> EditorWatch::text(qint32 pid) {
    return testing::runTask(m_thread->run([client = m_client, pid]() -> std::optional<QString> {
        client->isProcessTrusted();
        auto focused = accessibilityValueAs<AccessibilityElementRef>(
            client->applicationElement(pid)->attributeValue(ax::focusedUIElement));
        if (!focused || !*focused)
            return std::nullopt;
        return accessibilityValueAs<QString>((*focused)->attributeValue(ax::value));
    }));
}

std::optional<QString> EditorWatch::caretParagraph(qint32 pid) {
    return testing::runTask(m_thread->run([bus = m_bus, pid]() -> std::optional<QString> {
        if (!bus->connectIfEnabled())
            return std::nullopt;
        const auto service = bus->serviceOfProcess(pid);
        ColdReadDeadline deadline;
        const auto editor = service ? bus->focusedElement(*service, deadline) : std::nullopt;
        const auto caret = editor ? bus->caretOffset(*editor) : std::nullopt;
        const auto before = caret ? bus->text(*editor, 0, *caret) : std::nullopt;
        if (!before)
            return std::nullopt;
        const auto paragraph = bus->embeddedObjects(
            *editor, before->count(QChar(EmbeddedObjectText::objectReplacementCharacter)), 1);
        if (!paragraph || paragraph->isEmpty())
            return std::nullopt;
        return bus->text(paragraph->first(), 0, -1);
    }));
}

bool EditorWatch::caretShows(qint32 pid) {
    return testing::runTask(m_thread->run([bus = m_bus, pid] {
        if (!bus->connectIfEnabled())
            return false;
        const auto service = bus->serviceOfProcess(pid);
        ColdReadDeadline deadline;
        const auto editor = service ? bus->focusedElement(*service, deadline) : std::nullopt;
        if (!editor || !bus->hasState(*editor, AtspiBus::stateEditable))
            return false;
        const auto caret = bus->caretOffset(*editor);
        return caret && *caret >= 0;
    }));
}

std::optional<qint32> EditorWatch::focusedProcess() {
    return testing::runTask(m_thread->run([client = m_client]() -> std::optional<qint32> {
        const auto focus = AccessibilityFocus::read(*client);
        return focus ? std::optional<qint32>(focus->processIdentifier) : std::nullopt;
    }));
}

std::optional<QString> EditorWatch::pageTitle(qint32 pid) {
    for (const WindowInfo &window : m_windows->onScreenWindows()) {
        if (window.ownerProcessIdentifier != pid || !window.name || window.name->isEmpty())
            continue;
        QString title = *window.name;
        for (const QString &browser :
             {QStringLiteral(" — Mozilla Firefox"), QStringLiteral(" - Mozilla Firefox"),
              QStringLiteral(" - Chromium")}) {
            if (title.endsWith(browser))
                title.chop(browser.size());
        }
        return title;
    }
    return std::nullopt;
}

} // namespace tovalit::bench
