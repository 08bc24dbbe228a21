// The "AppConfig" and "AppSecrets" property lists that ship beside the
// executable, read through the bundle as the configuration store reads
// them: every value that comes out is valid text.

#include "fuzz_checks.h"
#include "platform/linux/plist_bundle_values.h"
#include "platform/linux/property_list_reader.h"
#include "services/settings/app_configuration_store.h"

#include <QFile>

using namespace tovalit;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz::ensureCoreApplication();
    const QByteArray text = fuzz::bytes(data, size);
    if (const auto value = readXmlPropertyList(text))
        fuzz::requireValidUtf16(*value, "property list value");

    const QString folder = fuzz::scratchFolder();
    {
        QFile file(folder + QStringLiteral("/AppConfig.plist"));
        FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        FUZZ_CHECK(file.write(text) == text.size());
    }
    const PlistBundleValues bundle(QStringList{folder});
    const auto configuration =
        AppConfigurationStore::loadBundledConfiguration(bundle, QStringLiteral("AppConfig"));
    for (auto it = configuration.constBegin(); it != configuration.constEnd(); ++it) {
        fuzz::requireValidUtf16(it.key(), "configuration key");
        fuzz::requireValidUtf16(it.value(), "configuration value");
        FUZZ_CHECK(!it.value().isEmpty());
    }
    return 0;
}
