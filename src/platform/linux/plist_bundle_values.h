#pragma once

#include "platform/bundle_values.h"

#include <QStringList>

namespace tovalit {

// Property lists as "<name>.plist" XML files, looked up in a list of
// folders, first match wins.
class PlistBundleValues final : public BundleValues {
public:
    explicit PlistBundleValues(QStringList directories);

    // The application's own lists: beside the executable, then in
    // ../share/tovalit relative to it.
    static const PlistBundleValues &mainBundle();

    std::optional<QVariantMap> propertyList(const QString &name) const override;

private:
    QStringList m_directories;
};

} // namespace tovalit
