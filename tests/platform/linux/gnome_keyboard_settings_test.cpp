// GNOME's keyboard settings through GSettings, against GNOME's own schema
// (gnome-settings-daemon-common), with a key file of the test's own in
// place of the desktop's database.

#include "platform/linux/gnome_accelerator.h"
#include "platform/linux/gnome_keyboard_settings.h"
#include "platform/linux/xdg_shortcut_trigger.h"
#include "platform/virtual_key_code.h"
#include "tests/support/qt_printers.h"
#include "tests/support/run_task.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

// GSettings' backends are declared only for those who ask.
#define G_SETTINGS_ENABLE_BACKEND
#include <gio/gio.h>
#include <gio/gsettingsbackend.h>

namespace tovalit {
namespace {

using testing::waitUntil;

const QString recordingCommand = QStringLiteral("tovalit --action toggle-recording");
const QString name = QStringLiteral("Tovalit：开始或停止录音");
const QString listPath = QStringLiteral("/org/gnome/settings-daemon/plugins/media-keys/");
const QString usersOwn =
    QStringLiteral("/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/custom0/");
const QString lookalike =
    QStringLiteral("/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/custom1/");
const QString ours = GnomeKeyboardSettings::customShortcutPath;

// GNOME's own settings application on the same settings: it opens them
// afresh for every look, as another process would.
class SettingsAsUser {
public:
    explicit SettingsAsUser(QString keyFile)
        : m_keyFile(std::move(keyFile)) {}

    QStringList list() const {
        GSettings *settings = open(nullptr);
        gchar **paths = g_settings_get_strv(settings, "custom-keybindings");
        QStringList result;
        for (gchar **path = paths; *path; ++path)
            result << QString::fromUtf8(*path);
        g_strfreev(paths);
        g_object_unref(settings);
        return result;
    }
    void setList(const QStringList &paths) {
        std::vector<QByteArray> bytes;
        std::vector<const gchar *> values;
        for (const QString &path : paths)
            bytes.push_back(path.toUtf8());
        for (const QByteArray &path : bytes)
            values.push_back(path.constData());
        values.push_back(nullptr);
        GSettings *settings = open(nullptr);
        g_settings_set_strv(settings, "custom-keybindings", values.data());
        g_settings_sync();
        g_object_unref(settings);
    }
    // "name | command | binding" of the entry at `path`.
    QString entry(const QString &path) const {
        GSettings *settings = open(&path);
        QStringList fields;
        for (const char *key : {"name", "command", "binding"}) {
            gchar *value = g_settings_get_string(settings, key);
            fields << QString::fromUtf8(value);
            g_free(value);
        }
        g_object_unref(settings);
        return fields.join(QStringLiteral(" | "));
    }
    void setEntry(const QString &path, const QString &key, const QString &value) {
        GSettings *settings = open(&path);
        g_settings_set_string(settings, key.toUtf8().constData(), value.toUtf8().constData());
        g_settings_sync();
        g_object_unref(settings);
    }
    // What GNOME's settings do when the user removes a custom shortcut.
    void remove(const QString &path) {
        QStringList paths = list();
        paths.removeAll(path);
        setList(paths);
        GSettings *settings = open(&path);
        for (const char *key : {"name", "command", "binding"})
            g_settings_reset(settings, key);
        g_settings_sync();
        g_object_unref(settings);
    }

private:
    // The list's settings, or the entry's at `path`.
    GSettings *open(const QString *path) const {
        GSettingsBackend *backend =
            g_keyfile_settings_backend_new(m_keyFile.toLocal8Bit().constData(), "/", nullptr);
        GSettingsSchema *schema = g_settings_schema_source_lookup(
            g_settings_schema_source_get_default(),
            path ? "org.gnome.settings-daemon.plugins.media-keys.custom-keybinding"
                 : "org.gnome.settings-daemon.plugins.media-keys",
            TRUE);
        GSettings *settings =
            g_settings_new_full(schema, backend, path ? path->toUtf8().constData() : nullptr);
        g_settings_schema_unref(schema);
        g_object_unref(backend);
        return settings;
    }

    QString m_keyFile;
};

class GnomeKeyboardSettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        GSettingsSchemaSource *installed = g_settings_schema_source_get_default();
        GSettingsSchema *schema =
            installed ? g_settings_schema_source_lookup(
                            installed, "org.gnome.settings-daemon.plugins.media-keys", TRUE)
                      : nullptr;
        ASSERT_NE(schema, nullptr) << "GNOME's schema is not installed "
                                      "(gnome-settings-daemon-common)";
        g_settings_schema_unref(schema);
        // The user's own shortcuts, one of them named and running as ours.
        user.setEntry(usersOwn, QStringLiteral("name"), QStringLiteral("终端"));
        user.setEntry(usersOwn, QStringLiteral("command"), QStringLiteral("gnome-terminal"));
        user.setEntry(usersOwn, QStringLiteral("binding"), QStringLiteral("<Super>t"));
        user.setEntry(lookalike, QStringLiteral("name"), name);
        user.setEntry(lookalike, QStringLiteral("command"), recordingCommand);
        user.setEntry(lookalike, QStringLiteral("binding"), QStringLiteral("<Control>F12"));
        user.setList({usersOwn, lookalike});
        settings =
            std::make_unique<GnomeKeyboardSettings>(GnomeKeyboardSettings::Location{keyFile(), {}});
        settings->setOnChange([this] { ++changes; });
    }

    QString keyFile() const { return folder.filePath(QStringLiteral("keyfile")); }
    // The user's own entries, exactly as they were set up.
    void expectTheUsersEntriesUntouched() {
        EXPECT_EQ(user.entry(usersOwn), QStringLiteral("终端 | gnome-terminal | <Super>t"));
        EXPECT_EQ(user.entry(lookalike), name + QStringLiteral(" | ") + recordingCommand +
                                             QStringLiteral(" | <Control>F12"));
    }
    // Lets a change the user made reach us.
    void waitForChange() {
        const int before = changes;
        ASSERT_TRUE(waitUntil([&] { return changes > before; }, "the change to be told"));
    }

    QTemporaryDir folder;
    SettingsAsUser user{folder.filePath(QStringLiteral("keyfile"))};
    std::unique_ptr<GnomeKeyboardSettings> settings;
    int changes = 0;
};

TEST_F(GnomeKeyboardSettingsTest, WritesUpdatesAndRemovesItsOwnEntryAndNoOther) {
    ASSERT_TRUE(settings->isAvailable());
    EXPECT_EQ(settings->customShortcut(), std::nullopt)
        << "an entry with our name and command elsewhere is the user's";

    settings->writeCustomShortcut({name, recordingCommand, QStringLiteral("CTRL+ALT+k")});
    EXPECT_EQ(user.list(), (QStringList{usersOwn, lookalike, ours}));
    EXPECT_EQ(user.entry(ours), name + QStringLiteral(" | ") + recordingCommand +
                                    QStringLiteral(" | <Control><Alt>k"));
    EXPECT_EQ(settings->customShortcut(),
              (DesktopCustomShortcut{name, recordingCommand, QStringLiteral("Ctrl+Alt+K")}));

    // Another combination: the same entry, listed once.
    settings->writeCustomShortcut({name, recordingCommand, QStringLiteral("SHIFT+LOGO+space")});
    EXPECT_EQ(user.list(), (QStringList{usersOwn, lookalike, ours}));
    EXPECT_EQ(user.entry(ours), name + QStringLiteral(" | ") + recordingCommand +
                                    QStringLiteral(" | <Shift><Super>space"));

    settings->removeCustomShortcut();
    EXPECT_EQ(user.list(), (QStringList{usersOwn, lookalike}));
    EXPECT_EQ(user.entry(ours), QStringLiteral(" |  | "));
    EXPECT_EQ(settings->customShortcut(), std::nullopt);
    settings->removeCustomShortcut();
    EXPECT_EQ(user.list(), (QStringList{usersOwn, lookalike}));
    expectTheUsersEntriesUntouched();
}

TEST_F(GnomeKeyboardSettingsTest, ReadsBackWhatTheUserChangedInGnomesSettings) {
    settings->writeCustomShortcut({name, recordingCommand, QStringLiteral("CTRL+ALT+k")});
    ASSERT_TRUE(waitUntil([&] { return changes > 0; }, "our own write to be told"));

    user.setEntry(ours, QStringLiteral("binding"), QStringLiteral("<Primary><Shift>F9"));
    ASSERT_NO_FATAL_FAILURE(waitForChange());
    EXPECT_EQ(settings->customShortcut()->triggerDescription, QStringLiteral("Ctrl+Shift+F9"));

    user.setEntry(ours, QStringLiteral("binding"), QString());
    ASSERT_NO_FATAL_FAILURE(waitForChange());
    EXPECT_EQ(settings->customShortcut(),
              (DesktopCustomShortcut{name, recordingCommand, QString()}));

    user.setEntry(ours, QStringLiteral("command"), QStringLiteral("gnome-calculator"));
    ASSERT_NO_FATAL_FAILURE(waitForChange());
    EXPECT_EQ(settings->customShortcut()->command, QStringLiteral("gnome-calculator"));

    user.remove(ours);
    ASSERT_NO_FATAL_FAILURE(waitForChange());
    EXPECT_EQ(settings->customShortcut(), std::nullopt);
    expectTheUsersEntriesUntouched();
}

TEST_F(GnomeKeyboardSettingsTest, ReadsHowGnomeRepeatsHeldKeys) {
    EXPECT_EQ(settings->keyRepeat(), (KeyRepeat{true, 0.5, 0.03})) << "GNOME's defaults";

    // As GNOME's settings write the user's choice.
    GSettingsBackend *backend =
        g_keyfile_settings_backend_new(keyFile().toLocal8Bit().constData(), "/", nullptr);
    GSettingsSchema *schema = g_settings_schema_source_lookup(
        g_settings_schema_source_get_default(), "org.gnome.desktop.peripherals.keyboard", TRUE);
    ASSERT_NE(schema, nullptr) << "gsettings-desktop-schemas is not installed";
    GSettings *keyboard = g_settings_new_full(schema, backend, nullptr);
    g_settings_set_uint(keyboard, "delay", 250);
    g_settings_set_uint(keyboard, "repeat-interval", 45);
    g_settings_set_boolean(keyboard, "repeat", FALSE);
    g_settings_sync();
    g_object_unref(keyboard);
    g_settings_schema_unref(schema);
    g_object_unref(backend);
    const GnomeKeyboardSettings reread(GnomeKeyboardSettings::Location{keyFile(), {}});
    EXPECT_EQ(reread.keyRepeat(), (KeyRepeat{false, 0.25, 0.045}));
}

TEST(GnomeKeyboardSettings, WithoutGnomesSchemaNothingIsOfferedOrTouched) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    GnomeKeyboardSettings settings(GnomeKeyboardSettings::Location{
        folder.filePath(QStringLiteral("keyfile")), folder.filePath(QStringLiteral("schemas"))});
    EXPECT_FALSE(settings.isAvailable());
    EXPECT_EQ(settings.customShortcut(), std::nullopt);
    EXPECT_EQ(settings.keyRepeat(), std::nullopt);
    EXPECT_THROW(settings.writeCustomShortcut({name, recordingCommand, QStringLiteral("CTRL+k")}),
                 DesktopKeyboardSettingsError);
    settings.removeCustomShortcut();
    EXPECT_FALSE(QFile::exists(folder.filePath(QStringLiteral("keyfile"))));
}

TEST(GnomeAccelerator, StoredCombinationsInGnomesNotationAndBackInTheCardsWords) {
    using namespace ModifierFlag;
    const auto accelerator = [](quint16 keyCode, quint64 modifiers, const QString &display) {
        return gnomeAccelerator(xdgShortcutTrigger(keyCode, modifiers, display));
    };
    EXPECT_EQ(accelerator(40, control | option, QStringLiteral("K")),
              QStringLiteral("<Control><Alt>k"));
    EXPECT_EQ(accelerator(VirtualKeyCode::space, command | shift | option | control,
                          QStringLiteral("Space")),
              QStringLiteral("<Control><Alt><Shift><Super>space"));
    // The keypad's keys by their own names, punctuation and shifted digits
    // by the base level's keysym.
    EXPECT_EQ(accelerator(0x45, control, QStringLiteral("+")), QStringLiteral("<Control>KP_Add"));
    EXPECT_EQ(accelerator(0x52, option, QStringLiteral("0")), QStringLiteral("<Alt>KP_0"));
    EXPECT_EQ(accelerator(0x2B, control, QStringLiteral(",")), QStringLiteral("<Control>comma"));
    EXPECT_EQ(accelerator(0x2C, command, QStringLiteral("/")), QStringLiteral("<Super>slash"));
    EXPECT_EQ(accelerator(0x12, control | shift, QStringLiteral("1")),
              QStringLiteral("<Control><Shift>1"));
    EXPECT_EQ(accelerator(VirtualKeyCode::deleteKey, control, QStringLiteral("Delete")),
              QStringLiteral("<Control>BackSpace"));
    EXPECT_EQ(accelerator(0x13, control, QStringLiteral("É")), QStringLiteral("<Control>eacute"));
    EXPECT_EQ(accelerator(0x21, control, QStringLiteral("^^")), QString());
    EXPECT_EQ(gnomeAccelerator(QStringLiteral("CTRL+HYPER+k")), QString());

    // What GNOME's settings hold, however written, in the card's words.
    EXPECT_EQ(gnomeAcceleratorLabel(QStringLiteral("<Control><Alt>k")),
              QStringLiteral("Ctrl+Alt+K"));
    EXPECT_EQ(gnomeAcceleratorLabel(QStringLiteral("<Super><Primary>K")),
              QStringLiteral("Ctrl+Super+K"));
    EXPECT_EQ(gnomeAcceleratorLabel(QStringLiteral("<Shift><Super>space")),
              QStringLiteral("Shift+Super+Space"));
    EXPECT_EQ(gnomeAcceleratorLabel(QStringLiteral("<Ctrl>comma")), QStringLiteral("Ctrl+,"));
    EXPECT_EQ(gnomeAcceleratorLabel(QStringLiteral("<Control>KP_Add")),
              QStringLiteral("Ctrl+KP_Add"));
    EXPECT_EQ(gnomeAcceleratorLabel(QStringLiteral("<Alt>F9")), QStringLiteral("Alt+F9"));
    EXPECT_EQ(gnomeAcceleratorLabel(QStringLiteral("<Control>BackSpace")),
              QStringLiteral("Ctrl+Backspace"));
    EXPECT_EQ(gnomeAcceleratorLabel(QString()), QString());
    EXPECT_EQ(gnomeAcceleratorLabel(QStringLiteral("disabled")), QString());
    // Nothing the user wrote is hidden, even what GNOME cannot read.
    EXPECT_EQ(gnomeAcceleratorLabel(QStringLiteral("<Control>nosuchkey")),
              QStringLiteral("<Control>nosuchkey"));
    EXPECT_EQ(gnomeAcceleratorLabel(QStringLiteral("<Control")), QStringLiteral("<Control"));
}

} // namespace
} // namespace tovalit
