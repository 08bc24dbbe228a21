#pragma once

#include "platform/bundle_values.h"

#include <QHash>

namespace tovalit {

// Property lists held in memory, for tests.
class InMemoryBundleValues final : public BundleValues {
public:
    void setPropertyList(const QString &name, QVariantMap values) {
        m_lists.insert(name, std::move(values));
    }

    std::optional<QVariantMap> propertyList(const QString &name) const override {
        const auto found = m_lists.constFind(name);
        if (found == m_lists.constEnd())
            return std::nullopt;
        return *found;
    }

private:
    QHash<QString, QVariantMap> m_lists;
};

} // namespace tovalit
