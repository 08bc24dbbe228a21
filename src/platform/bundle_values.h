#pragma once

#include <QString>
#include <QVariantMap>

#include <optional>

namespace tovalit {

// Property lists that ship with the application: "AppConfig" and
// "AppSecrets" (values that are never persisted) and "Info" (the product's
// name and version numbers).
class BundleValues {
public:
    virtual ~BundleValues() = default;

    // The top-level dictionary of the list `name`, or nothing when the list
    // is missing, unreadable, or not a dictionary with string keys. Values
    // are QString, qint64, double, bool, QDateTime, QByteArray, QVariantList
    // or QVariantMap.
    virtual std::optional<QVariantMap> propertyList(const QString &name) const = 0;

    // The "Info" list; empty when there is none.
    QVariantMap infoDictionary() const;
};

} // namespace tovalit
