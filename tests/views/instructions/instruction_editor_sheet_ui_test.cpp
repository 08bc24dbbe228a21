#include "tests/models/instruction_test_entries.h"
#include "tests/views/editor_sheet_fixture.h"
#include "tests/views/instructions/fake_instruction_library_page_model.h"
#include "views/design/tovalit_button.h"
#include "views/design/tovalit_segmented_control.h"
#include "views/design/tovalit_switch.h"
#include "views/design/tovalit_text_label.h"
#include "views/instructions/instruction_editor_sheet.h"
#include "views/instructions/instruction_entry_card.h"
#include "views/instructions/instruction_library_view.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using namespace testing;

class InstructionEditorTest
    : public EditorSheetTest<InstructionLibraryView, FakeInstructionLibraryPageModel> {
protected:
    InstructionEditorSheet &openEdit(const InstructionLibraryEntry &entry) {
        model->publish({}, {entry});
        return openFirstCard();
    }
};

TEST_F(InstructionEditorTest, ANewDraftIsValidatedAsTheUserTypes) {
    InstructionEditorSheet &sheet = openNew();
    EXPECT_EQ(sheet.objectName(), QStringLiteral("InstructionEditorSheet"));
    EXPECT_EQ(sheet.size(), QSize(620, 560));
    EXPECT_EQ(sheet.titleLabel()->text(), QStringLiteral("新增指令"));
    EXPECT_EQ(sheet.primaryButton()->text(), QStringLiteral("加入指令库"));
    EXPECT_EQ(sheet.categoryPicker()->currentIndex(), 0);
    EXPECT_EQ(sheet.categoryPicker()->segment(0)->text(), QStringLiteral("写作"));
    EXPECT_TRUE(sheet.enabledSwitch()->isChecked());
    EXPECT_EQ(message(sheet), QStringLiteral("指令名称不能为空。")) << "both fields empty";
    EXPECT_FALSE(sheet.primaryButton()->isEnabled());
    EXPECT_EQ(sheet.explanationLabel()->text(),
              QStringLiteral("V1 的自建指令会先本地保存。后续你说“用某个名字指令 + "
                             "内容”时，就会走这套 Prompt。"));

    type(sheet.nameField(), QStringLiteral("   "));
    EXPECT_EQ(message(sheet), QStringLiteral("指令名称不能为空。")) << "spaces are no name";

    type(sheet.nameField(), QStringLiteral(" 日报助手 "));
    EXPECT_EQ(page->editorDraft().title, QStringLiteral(" 日报助手 ")) << "the page's draft";
    EXPECT_EQ(sheet.explanationLabel()->text(),
              QStringLiteral("V1 的自建指令会先本地保存。后续你说“用日报助手指令 + "
                             "内容”时，就会走这套 Prompt。"));
    EXPECT_EQ(message(sheet), QStringLiteral("Prompt 内容不能为空。"));

    sheet.promptEditor()->setPlainText(QStringLiteral("\n\n"));
    EXPECT_EQ(message(sheet), QStringLiteral("Prompt 内容不能为空。"));
    EXPECT_FALSE(sheet.primaryButton()->isEnabled());

    sheet.promptEditor()->setPlainText(QStringLiteral("\n把要点整理成日报。\n分三段输出。\n  "));
    EXPECT_EQ(message(sheet), std::nullopt) << "the summary may stay empty";
    EXPECT_TRUE(sheet.primaryButton()->isEnabled());

    sheet.categoryPicker()->segment(2)->click();
    sheet.enabledSwitch()->click();
    sheet.primaryButton()->click();

    ASSERT_EQ(model->saves.size(), 1u);
    const FakeInstructionLibraryPageModel::Save &save = model->saves[0];
    EXPECT_EQ(save.id, std::nullopt);
    EXPECT_EQ(save.title, QStringLiteral("日报助手"));
    EXPECT_EQ(save.summary, QString());
    EXPECT_EQ(save.promptTemplate, QStringLiteral("把要点整理成日报。\n分三段输出。"))
        << "ends trimmed, inner line breaks kept";
    EXPECT_EQ(save.category, InstructionLibraryCategory::planning);
    EXPECT_FALSE(save.enabled);
    EXPECT_EQ(save.maxTokens, 900);
    EXPECT_EQ(save.createdAt, std::nullopt);
    EXPECT_FALSE(page->isEditorPresented()) << "closed at once";
}

TEST_F(InstructionEditorTest, EditingPassesTheIdentityBackWithTheFixedTokenLimit) {
    auto entry = instruction({.title = QStringLiteral("英文润色"),
                              .category = InstructionLibraryCategory::rewrite,
                              .maxTokens = 2400,
                              .prompt = QStringLiteral("Polish the English.")});
    entry.summary = QStringLiteral("把中文口语改成地道英文");
    InstructionEditorSheet &sheet = openEdit(entry);
    EXPECT_EQ(sheet.titleLabel()->text(), QStringLiteral("编辑指令"));
    EXPECT_EQ(sheet.primaryButton()->text(), QStringLiteral("保存修改"));
    EXPECT_EQ(sheet.nameField()->text(), QStringLiteral("英文润色"));
    EXPECT_EQ(sheet.summaryField()->text(), QStringLiteral("把中文口语改成地道英文"));
    EXPECT_EQ(sheet.promptEditor()->toPlainText(), QStringLiteral("Polish the English."));
    EXPECT_EQ(sheet.categoryPicker()->currentIndex(), 1);
    EXPECT_TRUE(sheet.explanationLabel()->text().contains(QStringLiteral("用英文润色指令")));
    EXPECT_EQ(message(sheet), std::nullopt);

    type(sheet.summaryField(), QStringLiteral("  新的说明  "));
    sheet.primaryButton()->click();
    ASSERT_EQ(model->saves.size(), 1u);
    EXPECT_EQ(model->saves[0].id, entry.id());
    EXPECT_EQ(model->saves[0].createdAt, entry.createdAt);
    EXPECT_EQ(model->saves[0].summary, QStringLiteral("新的说明"));
    EXPECT_EQ(model->saves[0].maxTokens, 900) << "whatever the stored limit";
    EXPECT_EQ(model->saves[0].category, InstructionLibraryCategory::rewrite);
}

TEST_F(InstructionEditorTest, CancelAndEscapeCloseWithoutSaving) {
    InstructionEditorSheet &sheet = openNew();
    type(sheet.nameField(), QStringLiteral("草稿"));
    sheet.cancelButton()->click();
    EXPECT_FALSE(page->isEditorPresented());
    EXPECT_TRUE(model->saves.empty());
    EXPECT_EQ(page->editorDraft().title, QStringLiteral("草稿")) << "kept until the next opening";

    // The next opening starts from a fresh draft.
    InstructionEditorSheet &again = openNew();
    EXPECT_EQ(again.nameField()->text(), QString());
    QTest::keyClick(&again, Qt::Key_Escape);
    EXPECT_FALSE(page->isEditorPresented());
    EXPECT_TRUE(model->saves.empty());
}

TEST_F(InstructionEditorTest, ADisabledSaveButtonHandsOnNothing) {
    InstructionEditorSheet &sheet = openNew();
    type(sheet.nameField(), QStringLiteral("只有名字"));
    ASSERT_FALSE(sheet.primaryButton()->isEnabled());
    // A stray activation (keyboard default, accessibility) finds it disabled.
    sheet.primaryButton()->click();
    Q_EMIT sheet.primaryButton()->clicked();
    EXPECT_TRUE(model->saves.empty());
    EXPECT_TRUE(page->isEditorPresented());
}

} // namespace
} // namespace tovalit
