#include "platform/bundle_values.h"

namespace tovalit {

QVariantMap BundleValues::infoDictionary() const {
    return propertyList(QStringLiteral("Info")).value_or(QVariantMap());
}

} // namespace tovalit
