#include "models/instruction_library_catalog.h"
#include "tests/views/instructions/fake_instruction_library_page_model.h"
#include "tests/views/page_snapshot.h"
#include "views/design/tovalit_button.h"
#include "views/design/tovalit_disclosure_group.h"
#include "views/design/tovalit_search_field.h"
#include "views/design/tovalit_segmented_control.h"
#include "views/instructions/instruction_editor_sheet.h"
#include "views/instructions/instruction_entry_card.h"
#include "views/instructions/instruction_library_view.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using namespace testing;

QList<InstructionLibraryEntry> sampleCustomEntries() {
    const QDateTime now = QDateTime::currentDateTime();
    auto daily = InstructionLibraryEntry::makeCustom(
        std::nullopt, QStringLiteral("日报助手"),
        QStringLiteral("把零散的口述整理成结构清晰的日报"),
        QStringLiteral("你是一名严谨的项目助理。请把用户口述的工作内容整理成日报，分为“今日完成”、"
                       "“进行中”和“明日计划”三部分，每部分使用短句列表，保留人名和数字。"),
        InstructionLibraryCategory::writing, true, 900, now.addDays(-3), now.addSecs(-600));
    auto english = InstructionLibraryEntry::makeCustom(
        std::nullopt, QStringLiteral("英文润色"), QStringLiteral("把中文口语改成地道的商务英文"),
        QStringLiteral("Rewrite the user's text as concise, natural business English."),
        InstructionLibraryCategory::rewrite, false, 900, now.addDays(-9), now.addDays(-2));
    return {daily, english};
}

TEST(InstructionSnapshotTest, RendersTheLibraryAndItsEditor) {
    auto model = std::make_shared<FakeInstructionLibraryPageModel>();
    model->publish(InstructionLibraryCatalog::builtinEntries().mid(0, 2), sampleCustomEntries());
    InstructionLibraryView page(model);
    page.entryCards()[0]->promptDisclosure()->toggle()->click();
    const QImage image = pageSnapshot(&page, QSize(960, 1500), QStringLiteral("instructions"));
    EXPECT_EQ(page.entryCards().size(), 4);
    for (InstructionEntryCard *card : page.entryCards())
        EXPECT_GT(card->height(), 120) << card->entry().title.toStdString();
    EXPECT_FALSE(image.isNull());

    page.scopePicker()->segment(2)->click();
    page.searchField()->setText(QStringLiteral("找不到"));
    pageSnapshot(&page, QSize(760, 800), QStringLiteral("instructions-custom-no-match"));

    auto empty = std::make_shared<FakeInstructionLibraryPageModel>();
    InstructionLibraryView emptyPage(empty);
    pageSnapshot(&emptyPage, QSize(960, 900), QStringLiteral("instructions-empty"));
}

TEST(InstructionSnapshotTest, RendersTheEditorSheets) {
    auto model = std::make_shared<FakeInstructionLibraryPageModel>();
    model->publish({}, sampleCustomEntries());
    InstructionLibraryView page(model);
    page.resize(960, 800);
    page.show();
    page.addButton()->click();
    ASSERT_NE(page.editorSheet(), nullptr);
    const QImage fresh =
        sheetSnapshot(page.editorSheet(), QStringLiteral("instruction-editor-new"));
    EXPECT_EQ(fresh.size() / fresh.devicePixelRatio(), QSize(620, 560));
    page.editorSheet()->cancelButton()->click();

    Q_EMIT page.entryCards()[0]->editClicked();
    ASSERT_NE(page.editorSheet(), nullptr);
    sheetSnapshot(page.editorSheet(), QStringLiteral("instruction-editor-edit"));
}

} // namespace
} // namespace tovalit
