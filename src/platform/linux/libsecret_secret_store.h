#pragma once

#include "platform/secret_store.h"

namespace tovalit {

// Items of the Secret Service (GNOME Keyring, KWallet) in the default
// collection, found by the attributes "service" and "account", so that
// `secret-tool lookup service … account …` shows them too. Calls are
// synchronous and may come from any thread; a cancelled token cancels the
// call's D-Bus traffic, which libsecret does not always honour at once.
class LibsecretSecretStore final : public SecretStore {
public:
    std::optional<QByteArray> load(const QString &service, const QString &account,
                                   CancelToken token) override;
    void save(const QString &service, const QString &account, const QByteArray &data,
              CancelToken token) override;
    void remove(const QString &service, const QString &account, CancelToken token) override;
};

} // namespace tovalit
