#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <qcoro/qcorotask.h>

#include <chrono>
#include <memory>
#include <optional>

namespace tovalit {

class XdgPortalSignals;

// One call to the desktop portal whose answer comes later, as the Response
// signal of a request object the portal names after our connection and a
// token of ours. The signal is listened for before the call goes out, so an
// answer that overtakes the call's own reply is kept. GUI thread only.
class XdgPortalRequest : public QObject {
    Q_OBJECT

public:
    struct Response {
        // 0 answered, 1 the user cancelled, 2 anything else.
        uint code = 2;
        QVariantMap results;
    };

    explicit XdgPortalRequest(QDBusConnection bus, QObject *parent = nullptr);
    ~XdgPortalRequest() override;

    // What the call's options carry as "handle_token".
    QString token() const { return m_token; }

    // Makes the call and waits for its answer: for `answerLimit` when one is
    // given, else until it comes or abandon(). Throws
    // DesktopGlobalShortcutsError: unavailable when the call itself fails,
    // noAnswer when the limit passes, refused after abandon().
    QCoro::Task<Response> send(QDBusMessage call,
                               std::optional<std::chrono::milliseconds> answerLimit);
    // Ends the wait without an answer: what the request was for is gone.
    void abandon();

    // A fresh token for request and session handles: letters, digits and
    // underscores only, as object paths allow.
    static QString newToken();
    // The object path the portal gives the request or session ("request",
    // "session") of `token` made by the connection named `caller`.
    static QString handlePath(const QString &caller, const QString &kind, const QString &token);

Q_SIGNALS:
    void settled();

private:
    void listen(const QString &path);
    void settle(Response response);
    // Tells the portal we no longer wait, so that a dialog it shows closes.
    void close();

    QDBusConnection m_bus;
    QString m_token;
    QString m_path;
    std::unique_ptr<XdgPortalSignals> m_signals;
    std::optional<Response> m_response;
    bool m_abandoned = false;
};

} // namespace tovalit
