#include "platform/linux/xdg_portal_request.h"

#include "platform/desktop_global_shortcuts.h"
#include "platform/linux/xdg_portal_signals.h"

#include <QDBusError>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QRandomGenerator>
#include <qcoro/qcorodbuspendingcall.h>
#include <qcoro/qcorosignal.h>

namespace tovalit {

namespace {

// How long the portal may take to acknowledge a call; its answer may take
// longer, as long as a user takes over a dialog.
constexpr int callLimitMilliseconds = 10000;

} // namespace

XdgPortalRequest::XdgPortalRequest(QDBusConnection bus, QObject *parent)
    : QObject(parent)
    , m_bus(std::move(bus))
    , m_token(newToken()) {
    listen(handlePath(m_bus.baseService(), QStringLiteral("request"), m_token));
}

XdgPortalRequest::~XdgPortalRequest() = default;

QString XdgPortalRequest::newToken() {
    return QStringLiteral("tovalit_") +
           QString::number(QRandomGenerator::global()->generate64(), 16);
}

QString XdgPortalRequest::handlePath(const QString &caller, const QString &kind,
                                     const QString &token) {
    QString sender = caller.mid(caller.startsWith(u':') ? 1 : 0);
    sender.replace(u'.', u'_');
    return XdgPortalSignals::desktopPath + u'/' + kind + u'/' + sender + u'/' + token;
}

QCoro::Task<XdgPortalRequest::Response>
XdgPortalRequest::send(QDBusMessage call, std::optional<std::chrono::milliseconds> answerLimit) {
    const QDBusPendingCall pending = m_bus.asyncCall(call, callLimitMilliseconds);
    const QDBusMessage reply = co_await pending;
    if (reply.type() == QDBusMessage::ErrorMessage) {
        const bool late = reply.errorName() == QDBusError::errorString(QDBusError::NoReply) ||
                          reply.errorName() == QDBusError::errorString(QDBusError::Timeout);
        throw DesktopGlobalShortcutsError(late ? DesktopGlobalShortcutsError::Kind::noAnswer
                                               : DesktopGlobalShortcutsError::Kind::unavailable,
                                          reply.errorName() + u' ' + reply.errorMessage());
    }
    // Portals older than the handle_token option choose the path themselves.
    const QString handle = reply.arguments().value(0).value<QDBusObjectPath>().path();
    if (!m_response && !m_abandoned && !handle.isEmpty() && handle != m_path)
        listen(handle);
    if (!m_response && !m_abandoned) {
        const auto waited = co_await qCoro(this, &XdgPortalRequest::settled,
                                           answerLimit.value_or(std::chrono::milliseconds(-1)));
        if (!waited) {
            close();
            throw DesktopGlobalShortcutsError(DesktopGlobalShortcutsError::Kind::noAnswer,
                                              call.member());
        }
    }
    if (!m_response)
        throw DesktopGlobalShortcutsError(DesktopGlobalShortcutsError::Kind::refused,
                                          call.member());
    co_return *m_response;
}

void XdgPortalRequest::abandon() {
    if (m_response || m_abandoned)
        return;
    m_abandoned = true;
    close();
    Q_EMIT settled();
}

void XdgPortalRequest::listen(const QString &path) {
    m_path = path;
    m_signals = std::make_unique<XdgPortalSignals>(path, "org.freedesktop.portal.Request", m_bus);
    connect(m_signals.get(), &XdgPortalSignals::Response, this,
            [this](uint code, const QVariantMap &results) {
                settle({code, results});
            });
}

void XdgPortalRequest::settle(Response response) {
    if (m_response || m_abandoned)
        return;
    m_response = std::move(response);
    Q_EMIT settled();
}

void XdgPortalRequest::close() {
    m_bus.asyncCall(QDBusMessage::createMethodCall(XdgPortalSignals::service, m_path,
                                                   QStringLiteral("org.freedesktop.portal.Request"),
                                                   QStringLiteral("Close")));
}

} // namespace tovalit
