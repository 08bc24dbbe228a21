#include "tests/support/run_task.h"
#include "tests/views/lexicon/fake_personal_lexicon_page_model.h"
#include "views/design/tovalit_button.h"
#include "views/design/tovalit_empty_state_card.h"
#include "views/design/tovalit_menu_button.h"
#include "views/design/tovalit_palette.h"
#include "views/design/tovalit_search_field.h"
#include "views/design/tovalit_section_header.h"
#include "views/design/tovalit_selectable_text.h"
#include "views/design/tovalit_summary_column.h"
#include "views/design/tovalit_symbol.h"
#include "views/design/tovalit_text_label.h"
#include "views/lexicon/abbreviated_date_time.h"
#include "views/lexicon/lexicon_editor_sheet.h"
#include "views/lexicon/personal_lexicon_entry_card.h"
#include "views/lexicon/personal_lexicon_view.h"

#include <QMenu>
#include <QPushButton>

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using namespace testing;
using Source = PersonalLexiconEntrySource;
using Sync = PersonalLexiconCloudSyncStatus;

QStringList menuTexts(PersonalLexiconEntryCard *card) {
    QStringList texts;
    for (QAction *action : card->menuButton()->itemMenu()->actions())
        texts << (action->isSeparator() ? QStringLiteral("—") : action->text());
    return texts;
}

void triggerMenu(PersonalLexiconEntryCard *card, const QString &text) {
    for (QAction *action : card->menuButton()->itemMenu()->actions()) {
        if (action->text() == text) {
            action->trigger();
            return;
        }
    }
    ADD_FAILURE() << "no menu item " << text.toStdString();
}

QStringList texts(QWidget *widget) {
    QStringList found;
    for (auto *label : widget->findChildren<TovalitTextLabel *>())
        found << label->text();
    return found;
}

class LexiconPageTest : public ::testing::Test {
protected:
    LexiconPageTest() { QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China)); }
    ~LexiconPageTest() override { QLocale::setDefault(QLocale::c()); }

    PersonalLexiconView &openPage() {
        page = std::make_unique<PersonalLexiconView>(model);
        page->resize(960, 900);
        page->show();
        pumpEvents();
        return *page;
    }

    QStringList shownTexts() const {
        QStringList shown;
        for (PersonalLexiconEntryCard *card : page->entryCards())
            shown << card->displayText()->text();
        return shown;
    }

    PersonalLexiconEntryCard *card(const QString &displayText) const {
        for (PersonalLexiconEntryCard *card : page->entryCards()) {
            if (card->displayText()->text() == displayText)
                return card;
        }
        return nullptr;
    }

    std::shared_ptr<FakePersonalLexiconPageModel> model =
        std::make_shared<FakePersonalLexiconPageModel>();
    std::unique_ptr<PersonalLexiconView> page;
};

TEST_F(LexiconPageTest, OnlyTheUsersOwnEntriesAreListedAndCounted) {
    model->publish({lexiconEntry(QStringLiteral("热词表"), {}, Source::historyFrequency),
                    lexiconEntry(QStringLiteral("Kovarindel"), {}, Source::replacementPromotion)});
    PersonalLexiconView &view = openPage();
    EXPECT_EQ(view.objectName(), QStringLiteral("PersonalLexiconView"));
    EXPECT_EQ(view.entryCountColumn()->value(), QStringLiteral("0"));
    EXPECT_EQ(view.enabledCountColumn()->value(), QStringLiteral("0"));
    EXPECT_EQ(view.lastModifiedColumn()->value(), QStringLiteral("暂无"));
    ASSERT_NE(view.emptyStateCard(), nullptr);
    EXPECT_TRUE(texts(view.emptyStateCard()).contains(QStringLiteral("我的词条还没有开始积累")));
    ASSERT_NE(view.emptyStateCard()->actionButton(), nullptr);
    view.emptyStateCard()->actionButton()->click();
    ASSERT_TRUE(view.isEditorPresented());
    EXPECT_EQ(view.editorDraft(), LexiconEditorDraft());
    EXPECT_EQ(view.editorSheet()->titleLabel()->text(), QStringLiteral("新增词条"));

    const QDateTime latest(QDate(2026, 3, 9), QTime(18, 30));
    model->publish({lexiconEntry(QStringLiteral("张三")),
                    lexiconEntry(QStringLiteral("热词表"), {}, Source::historyFrequency, 9, true,
                                 Sync::synced, latest.addDays(5)),
                    lexiconEntry(QStringLiteral("MivoPad"), QStringLiteral("米沃派德"),
                                 Source::insertionCorrection, 3, false, Sync::pending, latest)});
    EXPECT_EQ(view.entryCountColumn()->value(), QStringLiteral("2"));
    EXPECT_EQ(view.enabledCountColumn()->value(), QStringLiteral("1"));
    EXPECT_EQ(view.lastModifiedColumn()->value(), abbreviatedDateTime(latest))
        << "hidden entries do not count";
    EXPECT_EQ(view.lastModifiedColumn()->value(), QStringLiteral("2026年3月9日 18:30"));
    EXPECT_EQ(shownTexts(),
              (QStringList{QStringLiteral("张三"), QStringLiteral("米沃派德 -> MivoPad")}))
        << "in the published order";
    ASSERT_NE(view.sectionHeader(), nullptr);
    EXPECT_EQ(view.sectionHeader()->title(), QStringLiteral("我的词条"));
}

TEST_F(LexiconPageTest, SearchLooksAtTargetSourceAndTheJointIgnoringCase) {
    model->publish({lexiconEntry(QStringLiteral("Kovarindel")),
                    lexiconEntry(QStringLiteral("MivoPad"), QStringLiteral("米沃派德")),
                    lexiconEntry(QStringLiteral("热词表"), {}, Source::historyFrequency)});
    PersonalLexiconView &view = openPage();

    view.searchField()->setText(QStringLiteral("  kovarindel "));
    EXPECT_EQ(shownTexts(), QStringList{QStringLiteral("Kovarindel")});
    EXPECT_EQ(view.sectionHeader()->title(), QStringLiteral("搜索结果"));
    view.searchField()->setText(QStringLiteral("米沃"));
    EXPECT_EQ(shownTexts(), QStringList{QStringLiteral("米沃派德 -> MivoPad")}) << "the source";
    view.searchField()->setText(QStringLiteral("派德 -> mivo"));
    EXPECT_EQ(shownTexts(), QStringList{QStringLiteral("米沃派德 -> MivoPad")}) << "the joint";

    view.searchField()->setText(QStringLiteral("热词表"));
    EXPECT_TRUE(view.entryCards().isEmpty()) << "learned entries are never searched";
    ASSERT_NE(view.emptyStateCard(), nullptr);
    EXPECT_TRUE(texts(view.emptyStateCard()).contains(QStringLiteral("没有匹配的词条")));
    EXPECT_EQ(view.emptyStateCard()->actionButton(), nullptr);

    view.searchField()->setText(QStringLiteral(" \t "));
    EXPECT_EQ(view.entryCards().size(), 2);
    EXPECT_EQ(view.sectionHeader()->title(), QStringLiteral("我的词条"));
}

TEST_F(LexiconPageTest, CardsShowSyncStateHitsAndWhatTheEntryDoes) {
    auto emptySource = lexiconEntry(QStringLiteral("飞书"), QString());
    emptySource.kind = PersonalLexiconEntryKind::replacement;
    model->publish(
        {lexiconEntry(QStringLiteral("张三"), {}, Source::manual, 1, true, Sync::synced),
         lexiconEntry(QStringLiteral("Tovalit"), QStringLiteral("托瓦里"), Source::manual, 2, false,
                      Sync::failed),
         lexiconEntry(QStringLiteral("李四"), {}, Source::manual, 5, true, Sync::localOnly),
         lexiconEntry(QStringLiteral("王五"), {}, Source::manual, 1, true, Sync::pending),
         emptySource});
    openPage();

    PersonalLexiconEntryCard *plain = card(QStringLiteral("张三"));
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(plain->badgeTitles(), QStringList{QStringLiteral("已同步")});
    EXPECT_EQ(plain->hitCountLabel(), nullptr) << "one hit is not worth a word";
    EXPECT_EQ(plain->explanationLabel()->text(),
              QStringLiteral("后续遇到这个词时，会优先保留这个写法。"));
    EXPECT_EQ(menuTexts(plain), (QStringList{QStringLiteral("编辑"), QStringLiteral("停用"),
                                             QStringLiteral("—"), QStringLiteral("删除")}));
    EXPECT_EQ(plain->updatedAtLabel()->text(), QStringLiteral("2026年3月7日 09:05"));

    PersonalLexiconEntryCard *replacement = card(QStringLiteral("托瓦里 -> Tovalit"));
    ASSERT_NE(replacement, nullptr);
    EXPECT_EQ(replacement->badgeTitles(),
              (QStringList{QStringLiteral("同步失败"), QStringLiteral("已停用")}));
    ASSERT_NE(replacement->hitCountLabel(), nullptr);
    EXPECT_EQ(replacement->hitCountLabel()->text(), QStringLiteral("命中 2"));
    EXPECT_EQ(replacement->explanationLabel()->text(),
              QStringLiteral("当识别成“托瓦里”时，会优先整理为“Tovalit”。"));
    EXPECT_EQ(menuTexts(replacement)[1], QStringLiteral("启用"));

    EXPECT_EQ(card(QStringLiteral("李四"))->badgeTitles(), QStringList{QStringLiteral("仅本地")});
    EXPECT_EQ(card(QStringLiteral("王五"))->badgeTitles(), QStringList{QStringLiteral("待同步")});
    EXPECT_EQ(card(QStringLiteral("飞书"))->explanationLabel()->text(),
              QStringLiteral("后续遇到这个词时，会优先保留这个写法。"))
        << "a replacement without a source reads like a hot word";
}

TEST_F(LexiconPageTest, MenusButtonsAndTheStatusLineCallAndFollowTheModel) {
    const auto entry = lexiconEntry(
        QStringLiteral("Tovalit"), QStringLiteral("托瓦里"), Source::manual, 4, true, Sync::synced,
        QDateTime(QDate(2026, 3, 7), QTime(9, 5)), QDateTime(QDate(2026, 3, 8), QTime(10, 0)));
    PersonalLexiconCloudState blankError;
    blankError.lastErrorMessage = QStringLiteral(" \n");
    model->publish({entry}, blankError, QStringLiteral("已整理 1 条我的词条"));
    PersonalLexiconView &view = openPage();
    EXPECT_EQ(view.statusLabel()->text(), QStringLiteral("已整理 1 条我的词条"));
    EXPECT_EQ(view.statusIcon()->symbolName(), QStringLiteral("arrow.triangle.2.circlepath"))
        << "a blank error is no error";
    EXPECT_EQ(view.statusLabel()->color(), TovalitPalette::secondary());

    PersonalLexiconCloudState failing;
    failing.lastErrorMessage = QStringLiteral("热词表同步失败：403");
    model->publish({entry}, failing, QStringLiteral("热词表同步失败：403"));
    EXPECT_EQ(view.statusIcon()->symbolName(), QStringLiteral("exclamationmark.triangle.fill"));
    EXPECT_EQ(view.statusIcon()->color(), TovalitPalette::red());
    EXPECT_EQ(view.statusLabel()->color(), TovalitPalette::red());
    EXPECT_EQ(view.statusLabel()->text(), QStringLiteral("热词表同步失败：403"));

    view.syncButton()->click();
    ASSERT_TRUE(waitUntil([&] { return model->refreshes == 1; }, "the refresh"));

    triggerMenu(view.entryCards()[0], QStringLiteral("停用"));
    EXPECT_EQ(model->toggled, QList{entry.id()});
    triggerMenu(view.entryCards()[0], QStringLiteral("删除"));
    EXPECT_EQ(model->deleted, QList{entry.id()}) << "at once, without asking";

    triggerMenu(view.entryCards()[0], QStringLiteral("编辑"));
    ASSERT_TRUE(view.isEditorPresented());
    EXPECT_EQ(view.editorDraft(), LexiconEditorDraft(entry));
    EXPECT_EQ(view.editorSheet()->sourceField()->text(), QStringLiteral("托瓦里"));
    EXPECT_EQ(view.editorSheet()->targetField()->text(), QStringLiteral("Tovalit"));
}

// A lexicon file that could not be read was set aside: the empty page says
// where it went for as long as it is there, every name whole.
TEST_F(LexiconPageTest, TheEmptyPageNamesTheSetAsideCopiesWhileTheyAreThere) {
    const QString folder = QStringLiteral("/home/someone/.local/share/Tovalit");
    const QString first = QStringLiteral("personal-lexicon.json.unreadable-20261211T082600Z");
    model->publish({});
    model->publishCopies({folder + u'/' + first});
    PersonalLexiconView &view = openPage();
    ASSERT_NE(view.emptyStateCard(), nullptr);
    ASSERT_TRUE(view.setAsideNotice()->isVisible());
    const QString text = view.setAsideNotice()->text();
    EXPECT_TRUE(text.contains(first) && text.contains(folder)) << text.toStdString();
    EXPECT_FALSE(view.setAsideNotice()->isTruncatedAtWidth(view.setAsideNotice()->width()));

    const QString second = QStringLiteral("personal-lexicon.json.unreadable-20261212T090000Z");
    model->publishCopies({folder + u'/' + first, folder + u'/' + second});
    EXPECT_TRUE(view.setAsideNotice()->text().contains(QStringLiteral("2 份副本")));
    EXPECT_TRUE(view.setAsideNotice()->text().contains(second));

    model->publishCopies({});
    EXPECT_FALSE(view.setAsideNotice()->isVisible());
}

} // namespace
} // namespace tovalit
