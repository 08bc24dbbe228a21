// The settings file (INI) as any version, crash or hand edit may have left
// it, read as the application reads it at start-up; and the stored
// shortcut's JSON on its own. A shortcut that reads is written and read
// back unchanged.

#include "fuzz_checks.h"
#include "models/shortcut_configuration.h"
#include "platform/linux/ini_defaults_store.h"
#include "services/settings/app_configuration_store.h"

#include <QFile>

using namespace tovalit;

namespace {

void checkShortcut(const ShortcutConfiguration &shortcut) {
    fuzz::requireValidUtf16(shortcut.keyDisplay, "key display");
    fuzz::requireValidUtf16(shortcut.displayName(), "shortcut name");
    const auto again = ShortcutConfiguration::fromJson(shortcut.toJson());
    FUZZ_CHECK_TEXT(again && *again == shortcut, QString::fromUtf8(shortcut.toJson()));
}

void checkSettingsFile(const QByteArray &text) {
    const QString path = fuzz::scratchFolder() + QStringLiteral("/Tovalit.ini");
    {
        QFile file(path);
        FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        FUZZ_CHECK(file.write(text) == text.size());
    }
    IniDefaultsStore defaults(path);
    const AppConfigurationStore store(defaults, AppConfigurationStore::Environment{});
    for (const QString &value :
         {store.preferredLocaleIdentifier(), store.vellupAppID(), store.vellupAccessToken(),
          store.vellupResourceID(), store.vellupSecretKey(), store.gatewayBaseURLString()})
        fuzz::requireValidUtf16(value, "setting");
    checkShortcut(store.shortcutConfiguration());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz::ensureCoreApplication();
    const QByteArray input = fuzz::bytes(data, size);
    if (const auto shortcut = ShortcutConfiguration::fromJson(input))
        checkShortcut(*shortcut);
    checkSettingsFile(input);
    // A file cut inside its last line reads as one still being written:
    // whole, the same text goes through the parser.
    if (!input.endsWith('\n') && !input.endsWith('\r'))
        checkSettingsFile(input + '\n');
    return 0;
}
