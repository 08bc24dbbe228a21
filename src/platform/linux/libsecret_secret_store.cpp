#include "platform/linux/libsecret_secret_store.h"

#include <gio/gio.h>
#include <libsecret/secret.h>
#include <memory>

namespace tovalit {

namespace {

const SecretSchema *schema() {
    static const SecretSchema value = [] {
        SecretSchema schema{};
        schema.name = "cn.pellastrim.tovalit.Secret";
        // Match on the attributes alone, so items stay findable by generic
        // tools whatever schema name they were written with.
        schema.flags = SECRET_SCHEMA_DONT_MATCH_NAME;
        schema.attributes[0] = {"service", SECRET_SCHEMA_ATTRIBUTE_STRING};
        schema.attributes[1] = {"account", SECRET_SCHEMA_ATTRIBUTE_STRING};
        schema.attributes[2] = {nullptr, SecretSchemaAttributeType(0)};
        return schema;
    }();
    return &value;
}

struct ErrorFree {
    void operator()(GError *error) const { g_error_free(error); }
};
struct ValueUnref {
    void operator()(SecretValue *value) const { secret_value_unref(value); }
};
using ErrorHandle = std::unique_ptr<GError, ErrorFree>;
using ValueHandle = std::unique_ptr<SecretValue, ValueUnref>;

SecretStoreError::Kind kindOf(const GError *error) {
    using Kind = SecretStoreError::Kind;
    if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED))
        return Kind::cancelled;
    // Nobody owns the name and no activation file names it: a desktop
    // without any keyring (common with bare window managers). A keyring
    // the bus fails to start is no keyring either.
    if (g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_SERVICE_UNKNOWN) ||
        g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_NAME_HAS_NO_OWNER) ||
        (error->domain == G_DBUS_ERROR && error->code >= G_DBUS_ERROR_SPAWN_EXEC_FAILED &&
         error->code <= G_DBUS_ERROR_SPAWN_NO_MEMORY))
        return Kind::noService;
    if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_TIMED_OUT) ||
        g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_NO_REPLY) ||
        g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_TIMEOUT) ||
        g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_TIMED_OUT))
        return Kind::noAnswer;
    return Kind::failed;
}

[[noreturn]] void fail(GError *raw) {
    const ErrorHandle error(raw);
    throw SecretStoreError(error->code, QString::fromUtf8(error->message), kindOf(error.get()));
}

// A GCancellable that follows the token for the length of one call. The
// token may be cancelled on another thread while the call ends, so its
// callback holds a reference of its own.
class CallCancellable {
public:
    explicit CallCancellable(const CancelToken &token)
        : m_cancellable(g_cancellable_new(), g_object_unref) {
        std::shared_ptr<GCancellable> cancellable = m_cancellable;
        m_subscription = token.onCancel([cancellable] { g_cancellable_cancel(cancellable.get()); });
    }
    GCancellable *get() const { return m_cancellable.get(); }

private:
    std::shared_ptr<GCancellable> m_cancellable;
    CancelSubscription m_subscription;
};

// The keyring is reached over the session bus; without one (no address,
// or nothing listening at it) there is no keyring to ask.
void requireSessionBus(GCancellable *cancellable) {
    GError *error = nullptr;
    GDBusConnection *bus = g_bus_get_sync(G_BUS_TYPE_SESSION, cancellable, &error);
    if (!bus) {
        const ErrorHandle failure(error);
        const SecretStoreError::Kind kind =
            kindOf(failure.get()) == SecretStoreError::Kind::cancelled
                ? SecretStoreError::Kind::cancelled
                : SecretStoreError::Kind::noService;
        throw SecretStoreError(failure->code, QString::fromUtf8(failure->message), kind);
    }
    g_object_unref(bus);
}

} // namespace

std::optional<QByteArray> LibsecretSecretStore::load(const QString &service, const QString &account,
                                                     CancelToken token) {
    const QByteArray serviceText = service.toUtf8();
    const QByteArray accountText = account.toUtf8();
    const CallCancellable cancellable(token);
    requireSessionBus(cancellable.get());
    GError *error = nullptr;
    const ValueHandle value(secret_password_lookup_binary_sync(
        schema(), cancellable.get(), &error, "service", serviceText.constData(), "account",
        accountText.constData(), nullptr));
    if (error)
        fail(error);
    if (!value)
        return std::nullopt;
    gsize length = 0;
    const gchar *bytes = secret_value_get(value.get(), &length);
    return QByteArray(bytes, static_cast<qsizetype>(length));
}

void LibsecretSecretStore::save(const QString &service, const QString &account,
                                const QByteArray &data, CancelToken token) {
    const QByteArray serviceText = service.toUtf8();
    const QByteArray accountText = account.toUtf8();
    const QByteArray label = QStringLiteral("Tovalit: %1").arg(account).toUtf8();
    const ValueHandle value(
        secret_value_new(data.constData(), data.size(), "application/octet-stream"));
    const CallCancellable cancellable(token);
    requireSessionBus(cancellable.get());
    GError *error = nullptr;
    // An item with the same attributes is replaced, never duplicated.
    const gboolean stored = secret_password_store_binary_sync(
        schema(), SECRET_COLLECTION_DEFAULT, label.constData(), value.get(), cancellable.get(),
        &error, "service", serviceText.constData(), "account", accountText.constData(), nullptr);
    if (error)
        fail(error);
    if (!stored)
        throw SecretStoreError(-1, QStringLiteral("secret service refused the item"));
}

void LibsecretSecretStore::remove(const QString &service, const QString &account,
                                  CancelToken token) {
    const QByteArray serviceText = service.toUtf8();
    const QByteArray accountText = account.toUtf8();
    const CallCancellable cancellable(token);
    requireSessionBus(cancellable.get());
    GError *error = nullptr;
    // FALSE without an error only means there was nothing to delete.
    secret_password_clear_sync(schema(), cancellable.get(), &error, "service",
                               serviceText.constData(), "account", accountText.constData(),
                               nullptr);
    if (error)
        fail(error);
}

} // namespace tovalit
