#include "platform/linux/xdg_shortcut_trigger.h"
#include "platform/virtual_key_code.h"
#include "tests/support/qt_printers.h"

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using namespace ModifierFlag;

TEST(XdgShortcutTrigger, ModifiersInTheirOrderThenTheKeysBaseLevelName) {
    EXPECT_EQ(xdgShortcutTrigger(40, option | command, QStringLiteral("K")),
              QStringLiteral("ALT+LOGO+k"));
    EXPECT_EQ(xdgShortcutTrigger(VirtualKeyCode::space, command | shift | option | control,
                                 QStringLiteral("Space")),
              QStringLiteral("CTRL+ALT+SHIFT+LOGO+space"));
    // Keys named by position, whatever the recorder showed for them.
    EXPECT_EQ(xdgShortcutTrigger(VirtualKeyCode::deleteKey, control, QStringLiteral("Delete")),
              QStringLiteral("CTRL+BackSpace"));
    EXPECT_EQ(xdgShortcutTrigger(VirtualKeyCode::leftArrow, control, QStringLiteral("←")),
              QStringLiteral("CTRL+Left"));
    EXPECT_EQ(xdgShortcutTrigger(VirtualKeyCode::returnKey, control, QStringLiteral("Return")),
              QStringLiteral("CTRL+Return"));
    EXPECT_EQ(xdgShortcutTrigger(0x60, shift, QString()), QStringLiteral("SHIFT+F5"));
}

TEST(XdgShortcutTrigger, OtherKeysAreNamedByWhatTheyTyped) {
    // The typed character stands for the user's layout: an "é" key is the
    // eacute keysym wherever it sits.
    EXPECT_EQ(xdgShortcutTrigger(0x13, control, QStringLiteral("É")),
              QStringLiteral("CTRL+eacute"));
    EXPECT_EQ(xdgShortcutTrigger(0x2B, control, QStringLiteral(",")), QStringLiteral("CTRL+comma"));
    EXPECT_EQ(xdgShortcutTrigger(0x12, control | option, QStringLiteral("1")),
              QStringLiteral("CTRL+ALT+1"));
    // Nothing to ask for: the desktop then picks, or lets the user pick.
    EXPECT_EQ(xdgShortcutTrigger(std::nullopt, control, QString()), QString());
    EXPECT_EQ(xdgShortcutTrigger(0x21, control, QStringLiteral("^^")), QString());
}

} // namespace
} // namespace tovalit
