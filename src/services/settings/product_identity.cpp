#include "services/settings/product_identity.h"

#include "platform/bundle_values.h"
#include "platform/linux/plist_bundle_values.h"
#include "support/textkit.h"

namespace tovalit {

QString ProductIdentity::productName() {
    return productName(PlistBundleValues::mainBundle());
}

QString ProductIdentity::productName(const BundleValues &bundle) {
    const QVariantMap info = bundle.infoDictionary();
    for (const QString &key :
         {QStringLiteral("CFBundleDisplayName"), QStringLiteral("CFBundleName")}) {
        const QVariant value = info.value(key);
        if (value.typeId() == QMetaType::QString && !textkit::isBlank(value.toString()))
            return value.toString();
    }
    return QStringLiteral("Tovalit");
}

} // namespace tovalit
