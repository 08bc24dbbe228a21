#include "platform/linux/desktop_settings_opener.h"
#include "tests/support/qt_printers.h"

#include <gtest/gtest.h>

namespace tovalit {
namespace {

class DesktopSettingsOpenerTest : public ::testing::Test {
protected:
    DesktopSettingsOpener opener(const QString &desktop) {
        return DesktopSettingsOpener(
            desktop,
            [this](const QString &program) {
                return installed.contains(program) ? QStringLiteral("/usr/bin/") + program
                                                   : QString();
            },
            [this](const QString &program, const QStringList &arguments) {
                launched.append(program + u' ' + arguments.join(u' '));
                return true;
            },
            [this](const QString &message) { notices.append(message); });
    }

    QStringList installed;
    QStringList launched;
    QStringList notices;
};

TEST_F(DesktopSettingsOpenerTest, OpensTheDesktopsOwnPageOrSaysWhatToDo) {
    const QUrl microphone("x-apple.systempreferences:com.apple.preference.security?"
                          "Privacy_Microphone");
    const QUrl listen("x-apple.systempreferences:com.apple.preference.security?"
                      "Privacy_ListenEvent");
    const QUrl accessibility("x-apple.systempreferences:com.apple.preference.security?"
                             "Privacy_Accessibility");
    const QUrl keyboard("x-apple.systempreferences:com.apple.preference.keyboard");

    installed = {"gnome-control-center", "systemsettings", "pavucontrol"};
    auto gnome = opener("ubuntu:GNOME");
    EXPECT_TRUE(gnome.open(microphone));
    EXPECT_TRUE(gnome.open(keyboard));
    EXPECT_TRUE(gnome.open(accessibility));
    EXPECT_EQ(launched, (QStringList{"/usr/bin/gnome-control-center sound",
                                     "/usr/bin/gnome-control-center keyboard",
                                     "/usr/bin/gnome-control-center universal-access"}));
    EXPECT_TRUE(notices.isEmpty());

    // No desktop has a page for reading the keyboard: a notice says how.
    EXPECT_FALSE(gnome.open(listen));
    ASSERT_EQ(notices.size(), 1);
    EXPECT_TRUE(notices[0].contains(QStringLiteral("input 组")));

    launched.clear();
    auto kde = opener("KDE");
    kde.open(keyboard);
    EXPECT_EQ(launched, QStringList{"/usr/bin/systemsettings kcm_keyboard"});

    // A bare window manager: the sound mixer if installed, else a notice.
    launched.clear();
    auto openbox = opener("");
    EXPECT_TRUE(openbox.open(microphone));
    EXPECT_EQ(launched, QStringList{"/usr/bin/pavucontrol --tab=4"});
    installed.clear();
    EXPECT_FALSE(openbox.open(microphone));
    EXPECT_FALSE(openbox.open(keyboard));
    EXPECT_EQ(notices.size(), 3);

    EXPECT_FALSE(openbox.open(QUrl("https://example.com/")));
    EXPECT_EQ(notices.size(), 3) << "an unknown link opens nothing and says nothing";
}

} // namespace
} // namespace tovalit
