#include "tests/state/instruction_harness.h"
#include "views/design/tovalit_button.h"
#include "views/design/tovalit_menu_button.h"
#include "views/design/tovalit_summary_column.h"
#include "views/instructions/instruction_editor_sheet.h"
#include "views/instructions/instruction_entry_card.h"
#include "views/instructions/instruction_library_view.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>

namespace tovalit {
namespace {

using namespace testing;

// The page over the real controller and its library file.
class InstructionPageOverViewModelTest : public InstructionControllerTest {
protected:
    InstructionLibraryView &openPage() {
        bootstrap();
        page = std::make_unique<InstructionLibraryView>(*viewModel);
        page->resize(960, 900);
        page->show();
        settle();
        return *page;
    }

    InstructionEntryCard *card(const QString &title) const {
        for (InstructionEntryCard *card : page->entryCards()) {
            if (card->entry().title == title)
                return card;
        }
        return nullptr;
    }

    static void commit(QWidget *field, const QString &text) {
        field->setFocus();
        QInputMethodEvent event;
        event.setCommitString(text);
        QApplication::sendEvent(field, &event);
    }

    static void choose(InstructionEntryCard *card, const QString &item) {
        for (QAction *action : card->menuButton()->itemMenu()->actions()) {
            if (action->text() == item)
                action->trigger();
        }
    }

    void TearDown() override { page.reset(); }

    std::unique_ptr<InstructionLibraryView> page;
};

TEST_F(InstructionPageOverViewModelTest, AnInstructionIsCreatedSwitchedCopiedAndDeleted) {
    InstructionLibraryView &view = openPage();
    const qsizetype builtins = InstructionLibraryCatalog::builtinEntries().size();
    EXPECT_EQ(view.builtinColumn()->value(), QString::number(builtins));
    EXPECT_EQ(view.entryCards().size(), builtins);

    view.addButton()->click();
    InstructionEditorSheet *sheet = view.editorSheet();
    ASSERT_NE(sheet, nullptr);
    commit(sheet->nameField(), QStringLiteral("  日报助手 "));
    commit(sheet->promptEditor(), QStringLiteral("把口述整理成日报。\n"));
    sheet->primaryButton()->click();
    EXPECT_FALSE(view.isEditorPresented());
    ASSERT_TRUE(waitUntil([&] { return card(QStringLiteral("日报助手")) != nullptr; },
                          "the new instruction"));
    ASSERT_TRUE(viewModel->appToast().has_value());
    EXPECT_EQ(viewModel->appToast()->message, QStringLiteral("已新增指令“日报助手”"));
    EXPECT_EQ(view.customColumn()->value(), QStringLiteral("1"));
    EXPECT_EQ(storedLibrary().customEntries.size(), 1) << "written to the library file";
    EXPECT_EQ(card(QStringLiteral("日报助手"))->entry().summary, QStringLiteral("自定义指令"));

    choose(card(QStringLiteral("日报助手")), QStringLiteral("停用"));
    ASSERT_TRUE(waitUntil(
        [&] {
            InstructionEntryCard *found = card(QStringLiteral("日报助手"));
            return found && found->badgeTitles().contains(QStringLiteral("已停用"));
        },
        "the switched-off instruction"));
    EXPECT_EQ(viewModel->appToast()->message, QStringLiteral("已停用指令“日报助手”"));

    card(QStringLiteral("日报助手"))->copyButton()->click();
    EXPECT_EQ(pasteboard->string(), QStringLiteral("用日报助手指令"));
    EXPECT_EQ(viewModel->appToast()->message, QStringLiteral("已复制到剪贴板"));

    choose(card(QStringLiteral("日报助手")), QStringLiteral("删除"));
    ASSERT_TRUE(
        waitUntil([&] { return card(QStringLiteral("日报助手")) == nullptr; }, "the deletion"));
    EXPECT_EQ(view.customColumn()->value(), QStringLiteral("0"));
    EXPECT_TRUE(storedLibrary().customEntries.isEmpty());
}

} // namespace
} // namespace tovalit
