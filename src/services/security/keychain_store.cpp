#include "services/security/keychain_store.h"

#include "platform/linux/libsecret_secret_store.h"
#include "platform/secret_store.h"
#include "services/security/keyring_thread.h"
#include "support/parked_coroutine.h"
#include "support/spawn.h"

#include <QHash>

#include <map>

namespace tovalit {

namespace {

const QString keyringAdvice =
    QStringLiteral("请确认桌面密钥环（GNOME 密钥环或 KWallet）已运行并已解锁。");

// libsecret's messages end in a full stop of their own at times.
QString withoutFinalStop(QString text) {
    while (text.endsWith(u'.') || text.endsWith(u'。'))
        text.chop(1);
    return text.trimmed();
}

} // namespace

KeychainStoreError::KeychainStoreError(Kind kind, int status, QString detail, double seconds)
    : m_kind(kind)
    , m_status(status)
    , m_detail(std::move(detail))
    , m_seconds(seconds) {}

KeychainStoreError KeychainStoreError::operationFailed(int status, QString detail) {
    return KeychainStoreError(Kind::operationFailed, status, std::move(detail));
}

KeychainStoreError KeychainStoreError::unexpectedData() {
    return KeychainStoreError(Kind::unexpectedData, 0, {});
}

KeychainStoreError KeychainStoreError::noAnswer(double seconds) {
    return KeychainStoreError(Kind::noAnswer, 0, {}, seconds);
}

QString KeychainStoreError::localizedDescription() const {
    switch (m_kind) {
    case Kind::operationFailed:
        return joinedWithDetail(QStringLiteral("密钥环操作失败（%1）").arg(m_status),
                                withoutFinalStop(m_detail)) +
               u'。' + keyringAdvice;
    case Kind::unexpectedData:
        return QStringLiteral("密钥环返回了无法解析的数据。");
    case Kind::noAnswer:
        return QStringLiteral("密钥环 %1 秒内没有应答。").arg(m_seconds) + keyringAdvice;
    }
    return {};
}

struct KeychainStore::State {
    QString service;
    std::shared_ptr<SecretStore> secrets;
    Sleeper sleeper;
    // The watchdogs of the calls in flight, ended when the store goes.
    std::map<quint64, CancelToken> watchdogs;
    quint64 nextWatchdog = 1;
    bool keepsItemsInMemory = false;
    QHash<QString, QByteArray> memory;
    std::function<void()> onKeptInMemory;
    KeyringThread thread;
};

KeychainStore::KeychainStore(QString service)
    : KeychainStore(std::move(service), std::make_shared<LibsecretSecretStore>()) {}

KeychainStore::KeychainStore(QString service, std::shared_ptr<SecretStore> secrets, Sleeper sleeper)
    : m_state(std::make_shared<State>()) {
    m_state->service = std::move(service);
    m_state->secrets = std::move(secrets);
    m_state->sleeper = std::move(sleeper);
}

KeychainStore::~KeychainStore() {
    abandon();
}

void KeychainStore::abandon() {
    if (!m_state)
        return;
    // Calls in flight hold the state, but their awaiters belong to whoever
    // is going with this store: they are given up, never resumed.
    m_state->thread.abandon();
    const auto watchdogs = std::exchange(m_state->watchdogs, {});
    for (const auto &[id, watchdog] : watchdogs)
        watchdog.cancel();
}

KeychainStore::KeychainStore(KeychainStore &&other) noexcept = default;

QString KeychainStore::service() const {
    return m_state->service;
}

bool KeychainStore::keepsItemsInMemory() const {
    return m_state->keepsItemsInMemory;
}

void KeychainStore::setOnKeptInMemory(std::function<void()> notice) {
    m_state->onKeptInMemory = std::move(notice);
}

QCoro::Task<std::optional<QByteArray>> KeychainStore::loadData(QString account) const {
    return load(m_state, std::move(account));
}

QCoro::Task<void> KeychainStore::saveData(QByteArray data, QString account) const {
    return save(m_state, std::move(data), std::move(account));
}

QCoro::Task<void> KeychainStore::deleteItem(QString account) const {
    return remove(m_state, std::move(account));
}

QCoro::Task<std::optional<QByteArray>> KeychainStore::load(std::shared_ptr<State> state,
                                                           QString account) {
    if (!state->keepsItemsInMemory) {
        Call call = [service = state->service, account](SecretStore &secrets, CancelToken token) {
            return secrets.load(service, account, std::move(token));
        };
        const Reply reply = co_await ask(state, std::move(call));
        if (!reply.keyringMissing)
            co_return reply.data;
    }
    const auto found = state->memory.constFind(account);
    if (found == state->memory.constEnd())
        co_return std::nullopt;
    co_return *found;
}

QCoro::Task<void> KeychainStore::save(std::shared_ptr<State> state, QByteArray data,
                                      QString account) {
    if (!state->keepsItemsInMemory) {
        Call call = [service = state->service, account, data](SecretStore &secrets,
                                                              CancelToken token) {
            secrets.save(service, account, data, std::move(token));
            return std::optional<QByteArray>();
        };
        const Reply reply = co_await ask(state, std::move(call));
        if (!reply.keyringMissing)
            co_return;
    }
    state->memory.insert(account, data);
}

QCoro::Task<void> KeychainStore::remove(std::shared_ptr<State> state, QString account) {
    if (!state->keepsItemsInMemory) {
        Call call = [service = state->service, account](SecretStore &secrets, CancelToken token) {
            secrets.remove(service, account, std::move(token));
            return std::optional<QByteArray>();
        };
        const Reply reply = co_await ask(state, std::move(call));
        if (!reply.keyringMissing)
            co_return;
    }
    state->memory.remove(account);
}

QCoro::Task<KeychainStore::Reply> KeychainStore::ask(std::shared_ptr<State> state, Call call) {
    const CancelToken callToken;
    if (state->thread.isAbandoned()) {
        // Nobody is left to resume: the call is never made, and no
        // watchdog keeps a task in flight for it.
        co_await ParkedForever();
    }
    const std::shared_ptr<KeyringThread::Answer> answer =
        state->thread.submit([secrets = state->secrets, call = std::move(call)](
                                 CancelToken token) { return call(*secrets, std::move(token)); },
                             callToken);

    // The limit runs on the GUI thread's own timer: when it passes first,
    // the call is given up (the keyring is asked to drop it too, which
    // libsecret does not always manage).
    const quint64 watchdogID = state->nextWatchdog++;
    const CancelToken watchdog;
    state->watchdogs.emplace(watchdogID, watchdog);
    spawn(
        nullptr,
        [sleeper = state->sleeper, answer, callToken, watchdog]() -> QCoro::Task<void> {
            co_await sleeper(answerLimitSeconds, watchdog);
            if (watchdog.isCancelled())
                co_return;
            callToken.cancel();
            answer->fail(std::make_exception_ptr(KeychainStoreError::noAnswer(answerLimitSeconds)));
        },
        QStringLiteral("keyring answer limit"));

    std::optional<QByteArray> data;
    std::exception_ptr failure;
    try {
        data = co_await *answer;
    } catch (...) {
        failure = std::current_exception();
    }
    watchdog.cancel();
    state->watchdogs.erase(watchdogID);
    Reply reply;
    if (!failure) {
        reply.data = std::move(data);
        co_return reply;
    }

    try {
        std::rethrow_exception(failure);
    } catch (const SecretStoreError &error) {
        switch (error.kind()) {
        case SecretStoreError::Kind::noService:
            reply.keyringMissing = true;
            break;
        case SecretStoreError::Kind::noAnswer:
        case SecretStoreError::Kind::cancelled:
            throw KeychainStoreError::noAnswer(answerLimitSeconds);
        case SecretStoreError::Kind::failed:
            throw KeychainStoreError::operationFailed(error.status(), error.detail());
        }
    }
    // Only once per run: whatever else was on its way to the missing
    // keyring finds the items in memory already.
    if (!state->keepsItemsInMemory) {
        state->keepsItemsInMemory = true;
        if (state->onKeptInMemory)
            state->onKeptInMemory();
    }
    co_return reply;
}

} // namespace tovalit
