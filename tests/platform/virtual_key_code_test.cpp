#include "platform/virtual_key_code.h"
#include "tests/support/qt_printers.h"

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

namespace tovalit {
namespace {

TEST(VirtualKeyCode, StoredKeyNumbersAndInputCodesNameTheSamePositions) {
    EXPECT_EQ(VirtualKeyCode::toInputCode(40), KEY_K);
    EXPECT_EQ(VirtualKeyCode::toInputCode(0), KEY_A);
    EXPECT_EQ(VirtualKeyCode::toInputCode(VirtualKeyCode::space), KEY_SPACE);
    EXPECT_EQ(VirtualKeyCode::toInputCode(VirtualKeyCode::escape), KEY_ESC);
    EXPECT_EQ(VirtualKeyCode::toInputCode(VirtualKeyCode::deleteKey), KEY_BACKSPACE);
    EXPECT_EQ(VirtualKeyCode::toInputCode(VirtualKeyCode::function), KEY_FN);
    EXPECT_EQ(VirtualKeyCode::toInputCode(VirtualKeyCode::upArrow), KEY_UP);
    EXPECT_EQ(VirtualKeyCode::toInputCode(0x7A), KEY_F1);
    EXPECT_EQ(VirtualKeyCode::toInputCode(0x34), std::nullopt) << "no key there";
    EXPECT_EQ(VirtualKeyCode::toInputCode(VirtualKeyCode::unknown), std::nullopt);
    EXPECT_EQ(VirtualKeyCode::fromInputCode(KEY_INSERT), std::nullopt);
    EXPECT_EQ(VirtualKeyCode::fromInputCode(0), std::nullopt) << "KEY_RESERVED is no key";

    // Every stored number maps to one input code and back.
    int mapped = 0;
    for (int code = 0; code < 0x80; ++code) {
        const auto input = VirtualKeyCode::toInputCode(quint16(code));
        if (!input)
            continue;
        ++mapped;
        EXPECT_EQ(VirtualKeyCode::fromInputCode(*input), quint16(code)) << code;
    }
    EXPECT_GT(mapped, 110);

    for (quint16 modifier : {VirtualKeyCode::shift, VirtualKeyCode::rightControl,
                             VirtualKeyCode::command, VirtualKeyCode::capsLock})
        EXPECT_TRUE(VirtualKeyCode::isModifier(modifier));
    EXPECT_FALSE(VirtualKeyCode::isModifier(VirtualKeyCode::function));
    EXPECT_FALSE(VirtualKeyCode::isModifier(40));
}

} // namespace
} // namespace tovalit
