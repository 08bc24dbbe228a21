#include "platform/linux/plist_bundle_values.h"

#include "platform/linux/property_list_reader.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

namespace tovalit {

PlistBundleValues::PlistBundleValues(QStringList directories)
    : m_directories(std::move(directories)) {}

const PlistBundleValues &PlistBundleValues::mainBundle() {
    static const PlistBundleValues bundle = [] {
        const QString executableFolder = QCoreApplication::applicationDirPath();
        if (executableFolder.isEmpty())
            return PlistBundleValues({});
        return PlistBundleValues(
            {executableFolder,
             QDir::cleanPath(executableFolder + QStringLiteral("/../share/tovalit"))});
    }();
    return bundle;
}

std::optional<QVariantMap> PlistBundleValues::propertyList(const QString &name) const {
    for (const QString &directory : m_directories) {
        QFile file(directory + u'/' + name + QStringLiteral(".plist"));
        if (!file.exists())
            continue;
        if (!file.open(QIODevice::ReadOnly))
            return std::nullopt;
        const auto value = readXmlPropertyList(file.readAll());
        if (!value || value->typeId() != QMetaType::QVariantMap)
            return std::nullopt;
        return value->toMap();
    }
    return std::nullopt;
}

} // namespace tovalit
