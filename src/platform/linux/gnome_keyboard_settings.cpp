#include "platform/linux/gnome_keyboard_settings.h"

#include "platform/linux/gnome_accelerator.h"

#include <QByteArray>
#include <QMetaObject>

#include <vector>

// GSettings' backends are declared only for those who ask.
#define G_SETTINGS_ENABLE_BACKEND
#include <gio/gio.h>
#include <gio/gsettingsbackend.h>

namespace tovalit {

namespace {

constexpr const char *listSchemaId = "org.gnome.settings-daemon.plugins.media-keys";
constexpr const char *entrySchemaId =
    "org.gnome.settings-daemon.plugins.media-keys.custom-keybinding";
constexpr const char *listKey = "custom-keybindings";
constexpr const char *entryKeys[] = {"name", "command", "binding"};
constexpr const char *keyboardSchemaId = "org.gnome.desktop.peripherals.keyboard";

struct SchemaSourceUnref {
    void operator()(GSettingsSchemaSource *source) const { g_settings_schema_source_unref(source); }
};
struct SchemaUnref {
    void operator()(GSettingsSchema *schema) const { g_settings_schema_unref(schema); }
};
struct ObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
using Schema = std::unique_ptr<GSettingsSchema, SchemaUnref>;

QString stringOf(GSettings *settings, const char *key) {
    gchar *value = g_settings_get_string(settings, key);
    const QString result = QString::fromUtf8(value);
    g_free(value);
    return result;
}

QList<QByteArray> listOf(GSettings *settings) {
    gchar **values = g_settings_get_strv(settings, listKey);
    QList<QByteArray> result;
    for (gchar **value = values; *value; ++value)
        result.append(QByteArray(*value));
    g_strfreev(values);
    return result;
}

bool setList(GSettings *settings, const QList<QByteArray> &paths) {
    std::vector<const gchar *> values;
    for (const QByteArray &path : paths)
        values.push_back(path.constData());
    values.push_back(nullptr);
    return g_settings_set_strv(settings, listKey, values.data());
}

// A schema that has every key we read: an older or newer daemon may keep
// them elsewhere, and reading a key a schema lacks ends the process.
Schema schemaWithKeys(GSettingsSchemaSource *source, const char *id,
                      std::initializer_list<const char *> keys) {
    Schema schema(g_settings_schema_source_lookup(source, id, TRUE));
    if (!schema)
        return {};
    for (const char *key : keys) {
        if (!g_settings_schema_has_key(schema.get(), key))
            return {};
    }
    return schema;
}

std::unique_ptr<GSettingsSchemaSource, SchemaSourceUnref> ownSchemaSource(const QString &folder) {
    if (folder.isEmpty())
        return {};
    GError *error = nullptr;
    std::unique_ptr<GSettingsSchemaSource, SchemaSourceUnref> source(
        g_settings_schema_source_new_from_directory(folder.toLocal8Bit().constData(), nullptr, TRUE,
                                                    &error));
    if (error)
        g_error_free(error);
    return source;
}

GSettingsBackend *newBackend(const QString &keyFile) {
    return keyFile.isEmpty()
               ? g_settings_backend_get_default()
               : g_keyfile_settings_backend_new(keyFile.toLocal8Bit().constData(), "/", nullptr);
}

} // namespace

void GnomeKeyboardSettings::Unref::operator()(GSettings *settings) const {
    g_object_unref(settings);
}

GnomeKeyboardSettings::GnomeKeyboardSettings(Location location, QObject *parent)
    : QObject(parent) {
    openKeyboard(location);
    open(location);
    if (!m_list)
        return;
    for (GSettings *settings : {m_list.get(), m_entry.get()})
        g_signal_connect(settings, "changed", G_CALLBACK(&GnomeKeyboardSettings::changed), this);
    // GSettings tells of changes only to keys read since the handler was
    // connected.
    isListed();
    for (const char *key : entryKeys)
        stringOf(m_entry.get(), key);
}

GnomeKeyboardSettings::~GnomeKeyboardSettings() {
    for (GSettings *settings : {m_list.get(), m_entry.get()}) {
        if (settings)
            g_signal_handlers_disconnect_by_data(settings, this);
    }
}

void GnomeKeyboardSettings::open(const Location &location) {
    const auto ownSource = ownSchemaSource(location.schemaFolder);
    GSettingsSchemaSource *source =
        location.schemaFolder.isEmpty() ? g_settings_schema_source_get_default() : ownSource.get();
    Schema list = source ? schemaWithKeys(source, listSchemaId, {listKey}) : Schema();
    Schema entry =
        source ? schemaWithKeys(source, entrySchemaId, {"name", "command", "binding"}) : Schema();
    if (!list || !entry) {
        m_unavailable =
            QStringLiteral("没有安装 GNOME 的快捷键设置（") + QLatin1String(listSchemaId) + u'）';
        return;
    }

    std::unique_ptr<GSettingsBackend, ObjectUnref> backend(newBackend(location.keyFile));
    // Without dconf GLib keeps settings in memory: GNOME would never see
    // them, and they would read back as written until we quit.
    const QByteArray kind = G_OBJECT_TYPE_NAME(backend.get());
    if (kind == "GMemorySettingsBackend" || kind == "GNullSettingsBackend") {
        m_unavailable = QStringLiteral("桌面的设置无法长期保存（没有 dconf）");
        return;
    }
    m_list.reset(g_settings_new_full(list.get(), backend.get(), nullptr));
    m_entry.reset(
        g_settings_new_full(entry.get(), backend.get(), customShortcutPath.toUtf8().constData()));
}

void GnomeKeyboardSettings::openKeyboard(const Location &location) {
    const auto ownSource = ownSchemaSource(location.schemaFolder);
    GSettingsSchemaSource *source =
        location.schemaFolder.isEmpty() ? g_settings_schema_source_get_default() : ownSource.get();
    const Schema schema =
        source ? schemaWithKeys(source, keyboardSchemaId, {"repeat", "delay", "repeat-interval"})
               : Schema();
    if (!schema)
        return;
    // Read only: without dconf these are GNOME's defaults, still the best
    // guess there is.
    std::unique_ptr<GSettingsBackend, ObjectUnref> backend(newBackend(location.keyFile));
    m_keyboard.reset(g_settings_new_full(schema.get(), backend.get(), nullptr));
}

std::optional<KeyRepeat> GnomeKeyboardSettings::keyRepeat() const {
    if (!m_keyboard)
        return std::nullopt;
    return KeyRepeat{bool(g_settings_get_boolean(m_keyboard.get(), "repeat")),
                     g_settings_get_uint(m_keyboard.get(), "delay") / 1000.0,
                     g_settings_get_uint(m_keyboard.get(), "repeat-interval") / 1000.0};
}

bool GnomeKeyboardSettings::isAvailable() const {
    if (!m_list)
        return false;
    if (!g_settings_is_writable(m_list.get(), listKey))
        return false;
    for (const char *key : entryKeys) {
        if (!g_settings_is_writable(m_entry.get(), key))
            return false;
    }
    return true;
}

std::optional<DesktopCustomShortcut> GnomeKeyboardSettings::customShortcut() const {
    if (!m_list || !isListed())
        return std::nullopt;
    return DesktopCustomShortcut{stringOf(m_entry.get(), "name"),
                                 stringOf(m_entry.get(), "command"),
                                 gnomeAcceleratorLabel(stringOf(m_entry.get(), "binding"))};
}

void GnomeKeyboardSettings::writeCustomShortcut(const DesktopCustomShortcutRequest &request) {
    if (!m_list)
        throw DesktopKeyboardSettingsError(m_unavailable);
    const QString accelerator = gnomeAccelerator(request.trigger);
    if (accelerator.isEmpty())
        throw DesktopKeyboardSettingsError(QStringLiteral("GNOME 无法识别这个组合键"));
    // The entry first, so that the settings daemon never grabs keys for a
    // half-written one.
    const bool written =
        g_settings_set_string(m_entry.get(), "name", request.name.toUtf8().constData()) &&
        g_settings_set_string(m_entry.get(), "command", request.command.toUtf8().constData()) &&
        g_settings_set_string(m_entry.get(), "binding", accelerator.toUtf8().constData());
    if (!written)
        throw DesktopKeyboardSettingsError(QStringLiteral("GNOME 的快捷键设置被锁定"));
    if (!isListed()) {
        QList<QByteArray> paths = listOf(m_list.get());
        paths.append(customShortcutPath.toUtf8());
        if (!setList(m_list.get(), paths))
            throw DesktopKeyboardSettingsError(QStringLiteral("GNOME 的快捷键设置被锁定"));
    }
    g_settings_sync();
    // Told also where GLib's main loop does not run with Qt's.
    noticeChange();
}

void GnomeKeyboardSettings::removeCustomShortcut() {
    if (!m_list)
        return;
    if (isListed()) {
        QList<QByteArray> paths = listOf(m_list.get());
        paths.removeAll(customShortcutPath.toUtf8());
        if (!setList(m_list.get(), paths))
            throw DesktopKeyboardSettingsError(QStringLiteral("GNOME 的快捷键设置被锁定"));
    }
    for (const char *key : entryKeys)
        g_settings_reset(m_entry.get(), key);
    g_settings_sync();
    noticeChange();
}

void GnomeKeyboardSettings::setOnChange(std::function<void()> onChange) {
    m_onChange = std::move(onChange);
}

bool GnomeKeyboardSettings::isListed() const {
    return listOf(m_list.get()).contains(customShortcutPath.toUtf8());
}

void GnomeKeyboardSettings::noticeChange() {
    if (m_isChangeNoticed)
        return;
    m_isChangeNoticed = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_isChangeNoticed = false;
            if (m_onChange)
                m_onChange();
        },
        Qt::QueuedConnection);
}

void GnomeKeyboardSettings::changed(GSettings *, const char *, void *self) {
    static_cast<GnomeKeyboardSettings *>(self)->noticeChange();
}

} // namespace tovalit
