#pragma once

#include "support/app_error.h"
#include "support/sleeper.h"

#include <QByteArray>
#include <QString>
#include <qcoro/qcorotask.h>

#include <functional>
#include <memory>
#include <optional>

namespace tovalit {

class SecretStore;

class KeychainStoreError : public AppError {
public:
    enum class Kind { operationFailed, unexpectedData, noAnswer };

    static KeychainStoreError operationFailed(int status, QString detail = {});
    static KeychainStoreError unexpectedData();
    // The keyring did not answer within `seconds` (its unlock prompt still
    // open, or a service that never replies).
    static KeychainStoreError noAnswer(double seconds);

    Kind kind() const { return m_kind; }
    int status() const { return m_status; }
    // The secret store's own message.
    QString detail() const { return m_detail; }
    QString localizedDescription() const override;

private:
    KeychainStoreError(Kind kind, int status, QString detail, double seconds = 0);

    Kind m_kind;
    int m_status;
    QString m_detail;
    double m_seconds;
};

// The application's small secrets, one item per account under one service
// name, in the desktop's keyring. A missing item is not a failure: loading
// gives nothing, deleting does nothing.
//
// The keyring is asked on a thread of its own, never on the GUI thread,
// and each call waits for it at most `answerLimitSeconds`: a keyring whose
// unlock prompt stays open, or that never answers, ends the call with
// KeychainStoreError::noAnswer, and a keyring that is there but silent is
// never replaced. A desktop with no keyring at all is another matter: the
// items are then kept in memory for this run (the device registers again
// at the next start), and `onKeptInMemory` is told once.
//
// Move-only. Destroying or abandoning the store never waits for the
// keyring, and nothing that awaited it is resumed afterwards.
class KeychainStore {
public:
    static constexpr double answerLimitSeconds = 30;

    // Over the desktop's Secret Service.
    explicit KeychainStore(QString service);
    KeychainStore(QString service, std::shared_ptr<SecretStore> secrets,
                  Sleeper sleeper = systemSleeper());
    ~KeychainStore();
    KeychainStore(KeychainStore &&other) noexcept;
    KeychainStore &operator=(KeychainStore &&) = delete;
    KeychainStore(const KeychainStore &) = delete;
    KeychainStore &operator=(const KeychainStore &) = delete;

    QString service() const;

    // On the GUI thread.
    [[nodiscard]] QCoro::Task<std::optional<QByteArray>> loadData(QString account) const;
    [[nodiscard]] QCoro::Task<void> saveData(QByteArray data, QString account) const;
    [[nodiscard]] QCoro::Task<void> deleteItem(QString account) const;

    // Whether this run found no keyring and keeps its items in memory.
    bool keepsItemsInMemory() const;
    // Called on the GUI thread, once, when the store finds that the desktop
    // has no keyring.
    void setOnKeptInMemory(std::function<void()> notice);

    // What destroying the store does, for an owner that goes while the
    // store itself is still held (by the very calls waiting on it): no
    // call in flight or made later resumes its awaiter.
    void abandon();

private:
    struct State;
    // What one keyring call came back with.
    struct Reply {
        // No keyring on this desktop: the call is to be served from memory.
        bool keyringMissing = false;
        std::optional<QByteArray> data;
    };
    using Call = std::function<std::optional<QByteArray>(SecretStore &secrets, CancelToken token)>;

    static QCoro::Task<Reply> ask(std::shared_ptr<State> state, Call call);
    static QCoro::Task<std::optional<QByteArray>> load(std::shared_ptr<State> state,
                                                       QString account);
    static QCoro::Task<void> save(std::shared_ptr<State> state, QByteArray data, QString account);
    static QCoro::Task<void> remove(std::shared_ptr<State> state, QString account);

    std::shared_ptr<State> m_state;
};

} // namespace tovalit
