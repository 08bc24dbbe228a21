#include "platform/linux/desktop_entry_index.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace tovalit {
namespace {

void writeEntry(const QString &path, const QByteArray &content) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
}

class DesktopEntryIndexTest : public ::testing::Test {
protected:
    QTemporaryDir user;
    QTemporaryDir system;
};

TEST_F(DesktopEntryIndexTest, WindowClassFindsTheEntryByDeclaredClassIdOrLastIdPart) {
    writeEntry(system.filePath("vireo-browser.desktop"),
               "[Desktop Entry]\nType=Application\nName=Vireo Browser\nName[zh_CN]=维瑞浏览器\n"
               "StartupWMClass=Vireo-browser\n[Desktop Action new]\nName=New Window\n");
    writeEntry(system.filePath("org.kde.kate.desktop"),
               "[Desktop Entry]\nType=Application\nName=Kate\nName[zh]=Kate 编辑器\n");
    writeEntry(system.filePath("gedit.desktop"), "[Desktop Entry]\nType=Application\nName=Text\n");
    writeEntry(system.filePath("vendor/tool.desktop"),
               "[Desktop Entry]\nType=Application\nName=Tool\n");
    writeEntry(system.filePath("link.desktop"), "[Desktop Entry]\nType=Link\nName=Link\n");
    DesktopEntryIndex index({user.path(), system.path()}, QStringLiteral("zh_CN"));

    auto browser = index.entryForWindowClass("vireo-browser", "Vireo-browser");
    ASSERT_TRUE(browser);
    EXPECT_EQ(browser->id, QStringLiteral("vireo-browser"));
    EXPECT_EQ(browser->name, QStringLiteral("维瑞浏览器"));
    auto kate = index.entryForWindowClass("kate", "kate");
    ASSERT_TRUE(kate);
    EXPECT_EQ(kate->id, QStringLiteral("org.kde.kate"));
    EXPECT_EQ(kate->name, QStringLiteral("Kate 编辑器"));
    EXPECT_EQ(index.entryForWindowClass("gedit", "Gedit")->name, QStringLiteral("Text"));
    EXPECT_EQ(index.entryForWindowClass("", "vendor-tool")->id, QStringLiteral("vendor-tool"));
    EXPECT_EQ(index.entryForWindowClass("link", "Link"), std::nullopt);
    EXPECT_EQ(index.entryForWindowClass("xterm", "XTerm"), std::nullopt);

    // The user's own entry of the same id wins, and changes are picked up.
    writeEntry(user.filePath("gedit.desktop"), "[Desktop Entry]\nType=Application\nName=Mine\n");
    EXPECT_EQ(index.entryForWindowClass("gedit", "Gedit")->name, QStringLiteral("Mine"));
}

} // namespace
} // namespace tovalit
