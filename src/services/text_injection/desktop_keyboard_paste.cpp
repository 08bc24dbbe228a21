#include "services/text_injection/desktop_keyboard_paste.h"

#include "platform/accessibility_client.h"
#include "platform/accessibility_thread.h"
#include "platform/pasteboard.h"
#include "services/permissions/remote_desktop_keyboard_access.h"
#include "services/settings/tovalit_debug_logger.h"

#include <QMetaEnum>

namespace tovalit {

namespace {

void logPaste(const QString &message) {
    TovalitDebugLogger::log(QStringLiteral("insert.paste"), message);
}

QString stateName(RemoteDesktopKeyboardAccess::State state) {
    return QString::fromLatin1(
        QMetaEnum::fromType<RemoteDesktopKeyboardAccess::State>().valueToKey(int(state)));
}

} // namespace

DesktopKeyboardPaste::DesktopKeyboardPaste(std::shared_ptr<RemoteDesktopKeyboardAccess> access,
                                           std::shared_ptr<AccessibilityClient> accessibility,
                                           std::shared_ptr<Pasteboard> pasteboard, Sleeper sleeper)
    : m_access(std::move(access))
    , m_accessibility(std::move(accessibility))
    , m_pasteboard(std::move(pasteboard))
    , m_sleeper(std::move(sleeper)) {}

QCoro::Task<bool> DesktopKeyboardPaste::ready(AccessibilityElementRef field) {
    if (!m_access)
        co_return false;
    using Readiness = RemoteDesktopKeyboardAccess::Readiness;
    const Readiness readiness = co_await m_access->keyboardForDelivery();
    if (readiness == Readiness::none) {
        logPaste(QStringLiteral("desktop-keyboard none | state=") + stateName(m_access->state()));
        co_return false;
    }
    if (readiness == Readiness::openedNow) {
        const bool returned = co_await focusReturnedTo(field);
        if (!returned) {
            logPaste(QStringLiteral("desktop-keyboard not-sent | reason=focus-not-back"));
            co_return false;
        }
    }
    logPaste(QStringLiteral("desktop-keyboard | asked-now=") + (readiness == Readiness::openedNow
                                                                    ? QStringLiteral("true")
                                                                    : QStringLiteral("false")));
    co_return true;
}

bool DesktopKeyboardPaste::isLent() const {
    return m_access && m_access->isLent();
}

QCoro::Task<bool> DesktopKeyboardPaste::press(PasteKeys keys) {
    if (!m_access)
        co_return false;
    const bool inSession = co_await sessionHasClipboard();
    if (!inSession)
        co_return false;
    const bool pressed = co_await m_access->pressPasteKeys(keys);
    co_return pressed;
}

QCoro::Task<bool> DesktopKeyboardPaste::sessionHasClipboard() {
    // GNOME takes the X server's clipboard into its session on its own,
    // usually within milliseconds of the write. Keys that came first would
    // paste whatever the session held before, which may be anything the
    // user copied (a password), and a direct write cannot put that right
    // in a field that ignores it (a browser's text area): without our text
    // in the session, no keys go out at all.
    const int looks = qRound(sessionClipboardLimit / sessionClipboardInterval);
    for (int look = 0; look < looks; ++look) {
        if (m_pasteboard->sessionHasLastWrite()) {
            if (look > 0)
                logPaste(QStringLiteral("desktop-keyboard clipboard-in-session | waited=") +
                         QString::number(look * sessionClipboardInterval) + u's');
            co_return true;
        }
        co_await m_sleeper(sessionClipboardInterval, CancelToken());
    }
    if (m_pasteboard->sessionHasLastWrite())
        co_return true;
    logPaste(
        QStringLiteral("desktop-keyboard not-sent | reason=clipboard-not-in-session | waited=") +
        QString::number(sessionClipboardLimit) + u's');
    co_return false;
}

QCoro::Task<bool> DesktopKeyboardPaste::focusReturnedTo(AccessibilityElementRef field) {
    // Without a field there is nothing the focus could be seen back on.
    if (!field)
        co_return false;
    const int looks = qRound(focusReturnLimit / focusReturnInterval) + 1;
    for (int look = 1; look <= looks; ++look) {
        if (look > 1)
            co_await m_sleeper(focusReturnInterval, CancelToken());
        const bool back = co_await focusIsOn(field);
        if (back)
            co_return true;
    }
    co_return false;
}

QCoro::Task<bool> DesktopKeyboardPaste::focusIsOn(AccessibilityElementRef field) {
    return m_accessibility->thread().run([client = m_accessibility, field] {
        const auto focused = accessibilityValueAs<AccessibilityElementRef>(
            client->systemWideElement()->attributeValue(ax::focusedUIElement));
        return focused && *focused && (*focused)->identity() == field->identity();
    });
}

} // namespace tovalit
