#include "platform/fake/in_memory_bundle_values.h"
#include "platform/linux/plist_bundle_values.h"
#include "platform/linux/property_list_reader.h"
#include "services/settings/product_identity.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace tovalit {
namespace {

TEST(PropertyList, ReadsEveryValueKind) {
    const QByteArray xml = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
  <key>TOVALIT_GATEWAY_BASE_URL</key><string> http://127.0.0.1:8787 </string>
  <key>Count</key><integer>-12</integer>
  <key>Ratio</key><real>0.25</real>
  <key>On</key><true/>
  <key>Off</key><false/>
  <key>When</key><date>2026-03-07T01:05:01Z</date>
  <key>Blob</key><data>aGVs
  bG8=</data>
  <key>List</key><array><string>a</string><dict><key>k</key><integer>1</integer></dict></array>
  <key>名称</key><string>&lt;言&gt;</string>
</dict>
</plist>)";
    const auto value = readXmlPropertyList(xml);
    ASSERT_TRUE(value);
    const QVariantMap map = value->toMap();
    EXPECT_EQ(map.value(QStringLiteral("TOVALIT_GATEWAY_BASE_URL")),
              QStringLiteral(" http://127.0.0.1:8787 "));
    EXPECT_EQ(map.value(QStringLiteral("Count")), QVariant(qint64(-12)));
    EXPECT_EQ(map.value(QStringLiteral("Ratio")), QVariant(0.25));
    EXPECT_EQ(map.value(QStringLiteral("On")), QVariant(true));
    EXPECT_EQ(map.value(QStringLiteral("Off")), QVariant(false));
    EXPECT_EQ(map.value(QStringLiteral("When")).toDateTime(),
              QDateTime(QDate(2026, 3, 7), QTime(1, 5, 1), Qt::UTC));
    EXPECT_EQ(map.value(QStringLiteral("Blob")), QVariant(QByteArray("hello")));
    EXPECT_EQ(map.value(QStringLiteral("List")).toList().size(), 2);
    EXPECT_EQ(map.value(QStringLiteral("名称")), QStringLiteral("<言>"));
}

TEST(PropertyList, MalformedListsAreRefused) {
    for (const char *bad : {"", "<plist>", "<plist><dict><key>a</key></dict></plist>",
                            "<plist><dict><string>x</string></dict></plist>",
                            "<plist><dict><key>a</key><integer>x</integer></dict></plist>",
                            "<plist><dict><key>a</key><unknown/></dict></plist>",
                            "<plist><dict/><dict/></plist>", "<html></html>"}) {
        EXPECT_FALSE(readXmlPropertyList(bad)) << bad;
    }
    QByteArray deep = "<plist>";
    for (int i = 0; i < 1000; ++i)
        deep += "<array>";
    EXPECT_FALSE(readXmlPropertyList(deep));
}

TEST(PropertyList, BundleFilesAreFoundInOrderAndMustBeDictionaries) {
    QTemporaryDir first;
    QTemporaryDir second;
    const auto write = [](const QString &path, const QByteArray &bytes) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    };
    write(second.filePath(QStringLiteral("AppConfig.plist")),
          "<plist><dict><key>k</key><string>second</string></dict></plist>");
    write(first.filePath(QStringLiteral("AppSecrets.plist")), "<plist><array/></plist>");
    write(second.filePath(QStringLiteral("AppSecrets.plist")),
          "<plist><dict><key>k</key><string>never</string></dict></plist>");

    const PlistBundleValues bundle({first.path(), second.path()});
    EXPECT_EQ(bundle.propertyList(QStringLiteral("AppConfig")),
              (QVariantMap{{QStringLiteral("k"), QStringLiteral("second")}}));
    EXPECT_FALSE(bundle.propertyList(QStringLiteral("AppSecrets")))
        << "the first file found decides";
    EXPECT_FALSE(bundle.propertyList(QStringLiteral("Info")));
    EXPECT_TRUE(bundle.infoDictionary().isEmpty());
}

TEST(ProductIdentity, DisplayNameThenBundleNameThenDefault) {
    InMemoryBundleValues bundle;
    EXPECT_EQ(ProductIdentity::productName(bundle), QStringLiteral("Tovalit"));
    bundle.setPropertyList(QStringLiteral("Info"),
                           {{QStringLiteral("CFBundleDisplayName"), QStringLiteral("  ")},
                            {QStringLiteral("CFBundleName"), QStringLiteral("X")}});
    EXPECT_EQ(ProductIdentity::productName(bundle), QStringLiteral("X"));
    bundle.setPropertyList(QStringLiteral("Info"),
                           {{QStringLiteral("CFBundleDisplayName"), QStringLiteral(" A ")}});
    EXPECT_EQ(ProductIdentity::productName(bundle), QStringLiteral(" A "));
    bundle.setPropertyList(QStringLiteral("Info"),
                           {{QStringLiteral("CFBundleDisplayName"), qint64(5)}});
    EXPECT_EQ(ProductIdentity::productName(bundle), QStringLiteral("Tovalit"));
}

} // namespace
} // namespace tovalit
