#include "services/permissions/remote_desktop_keyboard_access.h"

#include "platform/remote_desktop_keyboard.h"
#include "services/settings/app_configuration_store.h"
#include "services/settings/tovalit_debug_logger.h"
#include "support/app_error.h"
#include "support/spawn.h"

#include <qcoro/qcorofuture.h>

namespace tovalit {

namespace {

void logGrant(const QString &message) {
    TovalitDebugLogger::log(QStringLiteral("permission.remote-keyboard"), message);
}

// Closes the desktop's window when the user has not answered in time, so
// that the asking ends instead of holding a paste or the next request.
QCoro::Task<void> closeUnlessAnswered(std::shared_ptr<RemoteDesktopKeyboard> keyboard,
                                      Sleeper sleeper, CancelToken answered) {
    co_await sleeper(RemoteDesktopKeyboardAccess::consentLimit, answered);
    if (answered.isCancelled())
        co_return;
    logGrant(QStringLiteral("no-answer | waited=") +
             QString::number(RemoteDesktopKeyboardAccess::consentLimit) + u's');
    keyboard->close();
}

struct OfferedVersion {
    // Nothing when the desktop did not say.
    std::optional<uint> version;
    QString failure;
};

QCoro::Task<OfferedVersion> offeredVersion(std::shared_ptr<RemoteDesktopKeyboard> keyboard) {
    OfferedVersion offered;
    try {
        offered.version = co_await keyboard->version();
    } catch (const RemoteDesktopKeyboardError &error) {
        offered.failure = error.localizedDescription();
    }
    co_return offered;
}

QCoro::Task<void> finishAfter(Sleeper sleeper, double seconds, CancelToken stop,
                              std::shared_ptr<QPromise<void>> finished) {
    co_await sleeper(seconds, stop);
    finished->finish();
}

} // namespace

// What the desktop said to one asking.
struct RemoteDesktopKeyboardAccess::DesktopAnswer {
    // The version of its remote-desktop service; 0 for none.
    uint version = 0;
    std::optional<RemoteDesktopKeyboard::Grant> grant;
    // Why there is no grant.
    RemoteDesktopKeyboardError::Kind failure = RemoteDesktopKeyboardError::Kind::noAnswer;
    QString detail;
};

RemoteDesktopKeyboardAccess::RemoteDesktopKeyboardAccess(
    AppConfigurationStore &store, std::shared_ptr<RemoteDesktopKeyboard> keyboard,
    std::shared_ptr<SecretStore> secrets, Sleeper sleeper, QObject *parent)
    : QObject(parent)
    , m_store(store)
    , m_keyboard(std::move(keyboard))
    , m_secrets(keyringService, std::move(secrets))
    , m_sleeper(std::move(sleeper))
    , m_state(store.remoteDesktopKeyboardRefused() ? State::refused : State::notRequested) {
    m_keyboard->setOnClosed([this] {
        if (m_state != State::granted)
            return;
        logGrant(QStringLiteral("closed-by-desktop"));
        setState(State::notRequested);
    });
    // Submitted now, so that the first opening reads the keyring after it.
    const QString fromSettings = m_store.takeLegacyRemoteDesktopRestoreToken();
    if (!fromSettings.isEmpty())
        keepRestoreToken(fromSettings);
    spawn(
        this, [this] { return learnWhetherOffered(); }, QStringLiteral("remote keyboard offered"));
}

RemoteDesktopKeyboardAccess::~RemoteDesktopKeyboardAccess() {
    abandon();
}

void RemoteDesktopKeyboardAccess::abandon() {
    if (m_lifetime.isCancelled())
        return;
    m_lifetime.cancel();
    m_answered.cancel();
    m_keyboard->setOnClosed({});
    // Ends an asking under way; the session goes with the run anyway.
    m_keyboard->close();
}

void RemoteDesktopKeyboardAccess::requestIfNeeded() {
    if (m_state == State::notRequested)
        ask();
}

void RemoteDesktopKeyboardAccess::request() {
    if (m_state == State::notRequested || m_state == State::refused)
        ask();
}

bool RemoteDesktopKeyboardAccess::isLent() const {
    return m_state == State::granted && m_keyboard->isOpen();
}

QCoro::Task<RemoteDesktopKeyboardAccess::Readiness>
RemoteDesktopKeyboardAccess::keyboardForDelivery() {
    if (isLent())
        co_return Readiness::open;
    if (m_state != State::notRequested && m_state != State::requesting)
        co_return Readiness::none;
    const CancelToken lifetime = m_lifetime;
    const QFuture<void> answered = ask();
    if (!answered.isFinished()) {
        auto waited = std::make_shared<QPromise<void>>();
        waited->start();
        const CancelToken answeredFirst;
        spawn(
            this,
            [sleeper = m_sleeper, answeredFirst, waited] {
                return finishAfter(sleeper, deliveryWaitLimit, answeredFirst, waited);
            },
            QStringLiteral("remote keyboard delivery wait"));
        const auto either = QtFuture::whenAny(answered, waited->future());
        co_await either;
        answeredFirst.cancel();
    }
    if (lifetime.isCancelled())
        co_return Readiness::none;
    co_return m_state == State::granted ? Readiness::openedNow : Readiness::none;
}

QCoro::Task<bool> RemoteDesktopKeyboardAccess::pressPasteShortcut() {
    return pressPasteKeys(PasteKeys::controlV);
}

QCoro::Task<bool> RemoteDesktopKeyboardAccess::pressPasteKeys(PasteKeys keys) {
    // The keyboard stays for the keys even when the access goes meanwhile.
    const std::shared_ptr<RemoteDesktopKeyboard> keyboard = m_keyboard;
    const CancelToken lifetime = m_lifetime;
    const quint64 grant = m_grants;
    const bool pressed = co_await keyboard->pressPasteKeys(keys);
    if (pressed || lifetime.isCancelled() || grant != m_grants || m_state != State::granted)
        co_return pressed;
    // A key refused, or not taken in time by a portal that may carry it
    // out once it recovers, long after the paste has gone another way: the
    // session is given up, and the next recording asks for a new one.
    logGrant(QStringLiteral("given-up | reason=keys-not-taken"));
    keyboard->close();
    setState(State::notRequested);
    co_return false;
}

QFuture<void> RemoteDesktopKeyboardAccess::ask() {
    if (m_asking)
        return m_asking->future();
    if (m_lifetime.isCancelled())
        return QtFuture::makeReadyFuture();
    m_asking = std::make_shared<QPromise<void>>();
    m_asking->start();
    const QFuture<void> answered = m_asking->future();
    // It catches what it meets: nothing escapes the unkept task.
    askDesktop(m_asking);
    return answered;
}

QCoro::Task<void>
RemoteDesktopKeyboardAccess::askDesktop(std::shared_ptr<QPromise<void>> answered) {
    const CancelToken lifetime = m_lifetime;
    setState(State::requesting);
    const DesktopAnswer answer = co_await desktopAnswer();
    if (!lifetime.isCancelled()) {
        m_asking.reset();
        takeAnswer(answer);
    }
    answered->finish();
}

QCoro::Task<RemoteDesktopKeyboardAccess::DesktopAnswer>
RemoteDesktopKeyboardAccess::desktopAnswer() {
    const CancelToken lifetime = m_lifetime;
    DesktopAnswer answer;
    const OfferedVersion offered = co_await offeredVersion(m_keyboard);
    if (lifetime.isCancelled())
        co_return answer;
    if (!offered.version) {
        answer.failure = RemoteDesktopKeyboardError::Kind::noAnswer;
        answer.detail = offered.failure;
        co_return answer;
    }
    if (*offered.version == 0) {
        answer.failure = RemoteDesktopKeyboardError::Kind::unavailable;
        co_return answer;
    }
    QString restoreToken;
    if (*offered.version >= 2) {
        restoreToken = co_await takeRestoreToken();
        if (lifetime.isCancelled())
            co_return answer;
    }
    DesktopAnswer opened = co_await openKeyboard(*offered.version, restoreToken);
    co_return opened;
}

QCoro::Task<RemoteDesktopKeyboardAccess::DesktopAnswer>
RemoteDesktopKeyboardAccess::openKeyboard(uint version, QString restoreToken) {
    const std::shared_ptr<RemoteDesktopKeyboard> keyboard = m_keyboard;
    DesktopAnswer answer;
    answer.version = version;
    logGrant(QStringLiteral("requesting | version=") + QString::number(version) +
             QStringLiteral(" | restore=") +
             (restoreToken.isEmpty() ? QStringLiteral("false") : QStringLiteral("true")));
    m_answered = CancelToken();
    spawn(
        this,
        [keyboard, sleeper = m_sleeper, answeredInTime = m_answered] {
            return closeUnlessAnswered(keyboard, sleeper, answeredInTime);
        },
        QStringLiteral("remote keyboard answer limit"));
    const CancelToken answeredInTime = m_answered;
    try {
        answer.grant = co_await keyboard->open(restoreToken);
    } catch (const RemoteDesktopKeyboardError &error) {
        answer.failure = error.kind();
        answer.detail = error.localizedDescription();
    } catch (const std::exception &error) {
        // Nothing the desktop said: asked again later.
        answer.failure = RemoteDesktopKeyboardError::Kind::closed;
        answer.detail = describeException(error);
    }
    answeredInTime.cancel();
    co_return answer;
}

void RemoteDesktopKeyboardAccess::takeAnswer(const DesktopAnswer &answer) {
    if (const std::optional<RemoteDesktopKeyboard::Grant> &grant = answer.grant) {
        // A version-1 desktop keeps nothing: the next run asks again.
        if (answer.version >= 2 && !grant->restoreToken.isEmpty())
            keepRestoreToken(grant->restoreToken);
        if (m_store.remoteDesktopKeyboardRefused())
            m_store.setRemoteDesktopKeyboardRefused(false);
        logGrant(QStringLiteral("granted | kept=") + (grant->restoreToken.isEmpty()
                                                          ? QStringLiteral("false")
                                                          : QStringLiteral("true")));
        ++m_grants;
        setState(State::granted);
    } else if (answer.failure == RemoteDesktopKeyboardError::Kind::refused) {
        m_store.setRemoteDesktopKeyboardRefused(true);
        logGrant(QStringLiteral("refused | error=") + answer.detail);
        setState(State::refused);
    } else if (answer.failure == RemoteDesktopKeyboardError::Kind::unavailable) {
        logGrant(QStringLiteral("unavailable | error=") + answer.detail);
        setState(State::unavailable);
    } else {
        // No answer in time, a request the desktop ended without a choice,
        // or the session ended first: asked again later.
        logGrant(QStringLiteral("unanswered | error=") + answer.detail);
        setState(State::notRequested);
    }
}

QCoro::Task<void> RemoteDesktopKeyboardAccess::learnWhetherOffered() {
    const CancelToken lifetime = m_lifetime;
    const OfferedVersion offered = co_await offeredVersion(m_keyboard);
    if (lifetime.isCancelled())
        co_return;
    if (!offered.version) {
        // A portal still starting, say: the first recording asks again.
        logGrant(QStringLiteral("version-unanswered | error=") + offered.failure);
        co_return;
    }
    if (*offered.version != 0 || m_state == State::unavailable)
        co_return;
    logGrant(QStringLiteral("unavailable | version=0"));
    setState(State::unavailable);
}

QCoro::Task<QString> RemoteDesktopKeyboardAccess::takeRestoreToken() {
    // The keychain's arguments are named values: GCC 12 mishandles some
    // temporaries that live across a suspension.
    const QString account = keyringAccount;
    std::optional<QByteArray> kept;
    QString failure;
    try {
        kept = co_await m_secrets.loadData(account);
    } catch (const std::exception &error) {
        failure = describeException(error);
    }
    if (!failure.isEmpty()) {
        // The desktop asks the user instead.
        logGrant(QStringLiteral("restore-token unreadable | error=") + failure);
        co_return QString();
    }
    if (!kept || kept->isEmpty())
        co_return QString();
    try {
        co_await m_secrets.deleteItem(account);
    } catch (const std::exception &error) {
        failure = describeException(error);
    }
    if (!failure.isEmpty())
        logGrant(QStringLiteral("restore-token not-removed | error=") + failure);
    co_return QString::fromUtf8(*kept);
}

QCoro::Task<void> RemoteDesktopKeyboardAccess::keepRestoreToken(QString token) {
    const QString account = keyringAccount;
    QByteArray data = token.toUtf8();
    QString failure;
    try {
        co_await m_secrets.saveData(std::move(data), account);
    } catch (const std::exception &error) {
        failure = describeException(error);
    }
    // Without it the desktop asks the user once more.
    if (!failure.isEmpty())
        logGrant(QStringLiteral("restore-token not-kept | error=") + failure);
}

void RemoteDesktopKeyboardAccess::setState(State state) {
    m_state = state;
    Q_EMIT stateChanged(state);
}

} // namespace tovalit
