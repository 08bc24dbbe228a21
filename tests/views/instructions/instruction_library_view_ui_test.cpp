#include "models/instruction_library_catalog.h"
#include "tests/models/instruction_test_entries.h"
#include "tests/support/run_task.h"
#include "tests/views/instructions/fake_instruction_library_page_model.h"
#include "views/design/tovalit_button.h"
#include "views/design/tovalit_disclosure_group.h"
#include "views/design/tovalit_empty_state_card.h"
#include "views/design/tovalit_menu_button.h"
#include "views/design/tovalit_palette.h"
#include "views/design/tovalit_search_field.h"
#include "views/design/tovalit_section_header.h"
#include "views/design/tovalit_segmented_control.h"
#include "views/design/tovalit_selectable_text.h"
#include "views/design/tovalit_summary_column.h"
#include "views/design/tovalit_text_label.h"
#include "views/instructions/instruction_editor_sheet.h"
#include "views/instructions/instruction_entry_card.h"
#include "views/instructions/instruction_library_view.h"

#include <QMenu>
#include <QPushButton>
#include <QToolButton>

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using namespace testing;

QStringList menuTexts(InstructionEntryCard *card) {
    QStringList texts;
    for (QAction *action : card->menuButton()->itemMenu()->actions())
        texts << (action->isSeparator() ? QStringLiteral("—") : action->text());
    return texts;
}

void triggerMenu(InstructionEntryCard *card, const QString &text) {
    for (QAction *action : card->menuButton()->itemMenu()->actions()) {
        if (action->text() == text) {
            action->trigger();
            return;
        }
    }
    ADD_FAILURE() << "no menu item " << text.toStdString();
}

class InstructionPageTest : public ::testing::Test {
protected:
    InstructionLibraryView &openPage() {
        page = std::make_unique<InstructionLibraryView>(model);
        page->resize(960, 900);
        page->show();
        pumpEvents();
        return *page;
    }

    QStringList cardTitles() const {
        QStringList titles;
        for (InstructionEntryCard *card : page->entryCards())
            titles << card->entry().title;
        return titles;
    }

    InstructionEntryCard *card(const QString &title) const {
        for (InstructionEntryCard *card : page->entryCards()) {
            if (card->entry().title == title)
                return card;
        }
        return nullptr;
    }

    void chooseScope(InstructionSectionFilter filter) {
        page->scopePicker()->segment(int(filter))->click();
    }

    std::shared_ptr<FakeInstructionLibraryPageModel> model =
        std::make_shared<FakeInstructionLibraryPageModel>();
    std::unique_ptr<InstructionLibraryView> page;
};

TEST_F(InstructionPageTest, BeforeAnyListIsPublishedThePageOffersToStart) {
    InstructionLibraryView &view = openPage();
    EXPECT_EQ(view.objectName(), QStringLiteral("InstructionLibraryView"));
    EXPECT_EQ(view.totalColumn()->value(), QStringLiteral("0"));
    EXPECT_EQ(view.builtinColumn()->value(), QStringLiteral("0"));
    EXPECT_EQ(view.customColumn()->value(), QStringLiteral("0"));
    EXPECT_EQ(view.countLabel()->text(), QStringLiteral("共 0 个指令"));
    ASSERT_NE(view.emptyStateCard(), nullptr);
    ASSERT_NE(view.emptyStateCard()->actionButton(), nullptr);
    EXPECT_EQ(view.emptyStateCard()->actionButton()->text(), QStringLiteral("新增指令"));

    view.emptyStateCard()->actionButton()->click();
    ASSERT_TRUE(view.isEditorPresented());
    EXPECT_EQ(view.editorDraft(), InstructionEditorDraft());
    EXPECT_EQ(view.editorSheet()->titleLabel()->text(), QStringLiteral("新增指令"));
}

TEST_F(InstructionPageTest, TheScopePickerCarriesItsTitleBesideTheSegments) {
    InstructionLibraryView &view = openPage();
    auto *toolbar = view.findChild<QWidget *>(QStringLiteral("InstructionFilterToolbar"));
    ASSERT_NE(toolbar, nullptr);
    const TovalitTextLabel *title = nullptr;
    for (TovalitTextLabel *label : toolbar->findChildren<TovalitTextLabel *>()) {
        if (label->text() == QStringLiteral("指令范围"))
            title = label;
    }
    ASSERT_NE(title, nullptr) << "the title is shown, not only told to assistive tools";
    EXPECT_TRUE(title->isVisible());
    const QRect titleBox(title->mapTo(toolbar, QPoint(0, 0)), title->size());
    QPushButton *first = view.scopePicker()->segment(0);
    QPushButton *last = view.scopePicker()->segment(view.scopePicker()->count() - 1);
    const QRect firstBox(first->mapTo(toolbar, QPoint(0, 0)), first->size());
    const QRect lastBox(last->mapTo(toolbar, QPoint(0, 0)), last->size());
    // Leading in the toolbar's padding of 16, the segments after it, on one
    // line with them; the picker, title included, at most 320 wide.
    EXPECT_EQ(titleBox.left(), 16);
    EXPECT_LT(titleBox.right(), firstBox.left());
    EXPECT_NEAR(titleBox.center().y(), firstBox.center().y(), 1);
    EXPECT_LE(lastBox.right() + 1 - titleBox.left(), 320);
    EXPECT_FALSE(title->isTruncatedAtWidth(title->width()));
    EXPECT_EQ(title->color(), TovalitPalette::primary());
}

TEST_F(InstructionPageTest, ScopesAndSearchNarrowTheListButNotTheOverview) {
    const auto builtins = InstructionLibraryCatalog::builtinEntries();
    const auto report = instruction({.title = QStringLiteral("周报整理"),
                                     .updatedMinute = 5,
                                     .category = InstructionLibraryCategory::planning,
                                     .prompt = QStringLiteral("把内容整理成 WEEKLY 周报。")});
    const auto polish = instruction({QStringLiteral("英文润色"), {QStringLiteral("润色一下")}});
    model->publish(builtins, {polish, report});
    InstructionLibraryView &view = openPage();

    EXPECT_EQ(view.totalColumn()->value(), QString::number(builtins.size() + 2));
    EXPECT_EQ(view.builtinColumn()->value(), QString::number(builtins.size()));
    EXPECT_EQ(view.customColumn()->value(), QStringLiteral("2"));
    EXPECT_EQ(view.countLabel()->text(), QStringLiteral("共 %1 个指令").arg(builtins.size() + 2));
    ASSERT_EQ(view.sectionHeaders().size(), 2);
    EXPECT_EQ(view.sectionHeaders()[0]->title(), QStringLiteral("内置指令"));
    EXPECT_EQ(view.sectionHeaders()[1]->title(), QStringLiteral("我的指令"));
    EXPECT_EQ(cardTitles().mid(builtins.size()),
              (QStringList{QStringLiteral("周报整理"), QStringLiteral("英文润色")}))
        << "custom entries latest update first";

    chooseScope(InstructionSectionFilter::custom);
    EXPECT_EQ(view.countLabel()->text(), QStringLiteral("我的 2 个"));
    ASSERT_EQ(view.sectionHeaders().size(), 1);
    EXPECT_EQ(view.sectionHeaders()[0]->title(), QStringLiteral("我的指令"));

    chooseScope(InstructionSectionFilter::builtin);
    EXPECT_EQ(view.countLabel()->text(), QStringLiteral("内置 %1 个").arg(builtins.size()));

    // Case does not count, and the prompt is searched; trigger phrases
    // and hints are not.
    chooseScope(InstructionSectionFilter::all);
    view.searchField()->setText(QStringLiteral(" weekly "));
    EXPECT_EQ(cardTitles(), QStringList{QStringLiteral("周报整理")});
    EXPECT_EQ(view.countLabel()->text(), QStringLiteral("共 1 个指令"));
    view.searchField()->setText(QStringLiteral("润色一下"));
    EXPECT_TRUE(view.entryCards().isEmpty());
    ASSERT_NE(view.emptyStateCard(), nullptr);
    view.searchField()->setText(QStringLiteral("英文润色 + 内容"));
    EXPECT_TRUE(view.entryCards().isEmpty()) << "the trigger hint";
    view.searchField()->setText(QStringLiteral("   "));
    EXPECT_EQ(view.entryCards().size(), builtins.size() + 2);

    EXPECT_EQ(view.totalColumn()->value(), QString::number(builtins.size() + 2))
        << "the overview ignores scope and search";
}

TEST_F(InstructionPageTest, EmptyScopesSayWhatIsMissing) {
    const auto builtins = InstructionLibraryCatalog::builtinEntries();
    model->publish(builtins, {});
    InstructionLibraryView &view = openPage();

    chooseScope(InstructionSectionFilter::custom);
    EXPECT_EQ(view.countLabel()->text(), QStringLiteral("我的 0 个"));
    ASSERT_NE(view.emptyStateCard(), nullptr);
    EXPECT_EQ(view.emptyStateCard()->actionButton(), nullptr);
    EXPECT_TRUE(view.emptyStateCard()->findChild<TovalitTextLabel *>() != nullptr);
    auto descriptions = [&] {
        QStringList texts;
        for (auto *label : view.emptyStateCard()->findChildren<TovalitTextLabel *>())
            texts << label->text();
        return texts;
    };
    EXPECT_TRUE(descriptions().contains(QStringLiteral("当前分组还没有指令")));
    EXPECT_TRUE(
        descriptions().contains(QStringLiteral("还没有你自己的指令，可以先手动新增一个。")));

    // A search that finds nothing: the description depends on the scope
    // only, also when the user has entries that just do not match.
    model->publish(builtins, {instruction({QStringLiteral("日报助手")})});
    view.searchField()->setText(QStringLiteral("找不到的内容"));
    EXPECT_TRUE(
        descriptions().contains(QStringLiteral("还没有你自己的指令，可以先手动新增一个。")));
    chooseScope(InstructionSectionFilter::builtin);
    EXPECT_TRUE(descriptions().contains(QStringLiteral("当前筛选下没有可展示的指令。")));
    chooseScope(InstructionSectionFilter::all);
    EXPECT_TRUE(descriptions().contains(QStringLiteral("当前筛选下没有可展示的指令。")));
}

TEST_F(InstructionPageTest, CustomEntriesOrderByUpdateThenNumbersInTitles) {
    model->publish({}, {instruction({.title = QStringLiteral("周报10"), .updatedMinute = 3}),
                        instruction({.title = QStringLiteral("周报2"), .updatedMinute = 3}),
                        instruction({.title = QStringLiteral("早先的"), .updatedMinute = 1}),
                        instruction({.title = QStringLiteral("刚改过"), .updatedMinute = 9})});
    openPage();
    EXPECT_EQ(cardTitles(), (QStringList{QStringLiteral("刚改过"), QStringLiteral("周报2"),
                                         QStringLiteral("周报10"), QStringLiteral("早先的")}));
}

TEST_F(InstructionPageTest, CardsShowTheirOriginAndOnlyOwnEntriesHaveAMenu) {
    const InstructionLibraryEntry shipped = InstructionLibraryCatalog::builtinEntries().first();
    const auto mine = instruction({.title = QStringLiteral("日报助手"), .enabled = false});
    model->publish({shipped}, {mine});
    openPage();

    InstructionEntryCard *builtinCard = card(shipped.title);
    ASSERT_NE(builtinCard, nullptr);
    EXPECT_EQ(builtinCard->menuButton(), nullptr);
    EXPECT_EQ(builtinCard->originLabel()->text(), QStringLiteral("系统内置"));
    EXPECT_EQ(builtinCard->badgeTitles(),
              (QStringList{QStringLiteral("内置指令"), displayName(shipped.category)}));
    EXPECT_EQ(builtinCard->hintLabel()->text(), shipped.invocationHint);

    InstructionEntryCard *customCard = card(QStringLiteral("日报助手"));
    ASSERT_NE(customCard, nullptr);
    EXPECT_EQ(customCard->badgeTitles(),
              (QStringList{QStringLiteral("我的指令"), QStringLiteral("写作"),
                           QStringLiteral("已停用")}));
    EXPECT_EQ(customCard->originLabel()->text(), QStringLiteral("本地维护"));
    ASSERT_NE(customCard->exampleLabel(), nullptr);
    EXPECT_EQ(customCard->exampleLabel()->text(), QStringLiteral("例如：用日报助手指令"))
        << "phrases derived from the title";
    EXPECT_EQ(menuTexts(customCard), (QStringList{QStringLiteral("编辑"), QStringLiteral("启用"),
                                                  QStringLiteral("—"), QStringLiteral("删除")}));

    triggerMenu(customCard, QStringLiteral("启用"));
    EXPECT_EQ(model->toggled, QList{mine.id()});
    triggerMenu(card(QStringLiteral("日报助手")), QStringLiteral("删除"));
    EXPECT_EQ(model->deleted, QList{mine.id()}) << "at once, without asking";

    // The published change redraws the card.
    InstructionLibraryEntry enabled = mine;
    enabled.enabled = true;
    model->publish({shipped}, {enabled});
    EXPECT_EQ(menuTexts(card(QStringLiteral("日报助手")))[1], QStringLiteral("停用"));
    EXPECT_EQ(card(QStringLiteral("日报助手"))->badgeTitles().size(), 2);
}

TEST_F(InstructionPageTest, CopyingTakesTheFirstPhraseOrElseTheHint) {
    auto phrased = instruction(
        {QStringLiteral("英文润色"), {QStringLiteral("润色一下"), QStringLiteral("帮我润色")}});
    auto bare = instruction({QStringLiteral(" ")});
    bare.invocationPhrases.clear();
    bare.invocationHint = QStringLiteral("  说出指令名 + 内容 ");
    model->publish({}, {phrased, bare});
    openPage();

    InstructionEntryCard *bareCard = nullptr;
    for (InstructionEntryCard *candidate : page->entryCards()) {
        if (candidate->entry().id() == bare.id())
            bareCard = candidate;
    }
    ASSERT_NE(bareCard, nullptr);
    EXPECT_EQ(bareCard->exampleLabel(), nullptr) << "no phrase to show";

    card(QStringLiteral("英文润色"))->copyButton()->click();
    bareCard->copyButton()->click();
    EXPECT_EQ(model->copied,
              (QStringList{QStringLiteral("润色一下"), QStringLiteral("  说出指令名 + 内容 ")}))
        << "the view model trims";
}

TEST_F(InstructionPageTest, UnfoldedPromptsStayUnfoldedAcrossScopes) {
    model->publish({}, {instruction({QStringLiteral("甲")}), instruction({QStringLiteral("乙")})});
    InstructionLibraryView &view = openPage();
    EXPECT_FALSE(card(QStringLiteral("甲"))->promptDisclosure()->isExpanded());

    card(QStringLiteral("甲"))->promptDisclosure()->toggle()->click();
    EXPECT_TRUE(card(QStringLiteral("甲"))->promptText()->isVisible());
    EXPECT_FALSE(card(QStringLiteral("乙"))->promptDisclosure()->isExpanded());

    chooseScope(InstructionSectionFilter::builtin);
    EXPECT_TRUE(view.entryCards().isEmpty());
    chooseScope(InstructionSectionFilter::all);
    EXPECT_TRUE(card(QStringLiteral("甲"))->promptDisclosure()->isExpanded());
    EXPECT_EQ(card(QStringLiteral("甲"))->promptText()->text(), QStringLiteral("你是测试助手。"));
    EXPECT_FALSE(card(QStringLiteral("乙"))->promptDisclosure()->isExpanded());
}

} // namespace
} // namespace tovalit
