#include "tests/state/transcriber_view_model_lexicon_harness.h"
#include "views/design/tovalit_button.h"
#include "views/design/tovalit_menu_button.h"
#include "views/design/tovalit_selectable_text.h"
#include "views/design/tovalit_summary_column.h"
#include "views/design/tovalit_text_label.h"
#include "views/lexicon/lexicon_editor_sheet.h"
#include "views/lexicon/personal_lexicon_entry_card.h"
#include "views/lexicon/personal_lexicon_view.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QMenu>

namespace tovalit {
namespace {

using namespace testing;

// The page over the real controller and its lexicon file.
class LexiconPageOverViewModelTest : public LexiconTest {
protected:
    void SetUp() override {
        makeStore(true);
        makeViewModel();
    }
    void TearDown() override { page.reset(); }

    PersonalLexiconView &openPage() {
        page = std::make_unique<PersonalLexiconView>(*viewModel);
        page->resize(960, 900);
        page->show();
        settle();
        return *page;
    }

    PersonalLexiconEntryCard *card(const QString &displayText) const {
        for (PersonalLexiconEntryCard *card : page->entryCards()) {
            if (card->displayText()->text() == displayText)
                return card;
        }
        return nullptr;
    }

    static void commit(QLineEdit *field, const QString &text) {
        field->setFocus();
        QInputMethodEvent event;
        event.setCommitString(text);
        QApplication::sendEvent(field, &event);
    }

    static void choose(PersonalLexiconEntryCard *card, const QString &item) {
        for (QAction *action : card->menuButton()->itemMenu()->actions()) {
            if (action->text() == item)
                action->trigger();
        }
    }

    // Waits for the save that an edit ends in.
    bool saved(qsizetype before) {
        return waitForAction(QStringLiteral("persist_applied"), before + 1);
    }
    qsizetype saves() const { return actions().count(QStringLiteral("persist_applied")); }

    std::unique_ptr<PersonalLexiconView> page;
};

TEST_F(LexiconPageOverViewModelTest, EntriesAreAddedSwitchedDeletedAndSynchronised) {
    loadLexicon(cleanSnapshot(
        {hotword(QStringLiteral("Kestrel")),
         hotword(QStringLiteral("热词表"), PersonalLexiconEntrySource::historyFrequency)}));
    PersonalLexiconView &view = openPage();
    EXPECT_EQ(view.entryCountColumn()->value(), QStringLiteral("1"));
    ASSERT_NE(card(QStringLiteral("Kestrel")), nullptr);
    EXPECT_EQ(view.statusLabel()->text(), viewModel->personalLexiconSummary());

    qsizetype before = saves();
    view.addButton()->click();
    LexiconEditorSheet *sheet = view.editorSheet();
    ASSERT_NE(sheet, nullptr);
    commit(sheet->targetField(), QStringLiteral(" Tovalit "));
    commit(sheet->sourceField(), QStringLiteral("托瓦里"));
    ASSERT_TRUE(sheet->primaryButton()->isEnabled());
    sheet->primaryButton()->click();
    EXPECT_FALSE(view.isEditorPresented());
    ASSERT_TRUE(saved(before));
    ASSERT_TRUE(waitUntil([&] { return card(QStringLiteral("托瓦里 -> Tovalit")) != nullptr; },
                          "the new replacement"));
    EXPECT_EQ(view.entryCountColumn()->value(), QStringLiteral("2"));
    ASSERT_TRUE(lastEvent(QStringLiteral("create_requested")).has_value());
    EXPECT_EQ(storedSnapshot().entries.size(), viewModel->personalLexiconEntries().size())
        << "written to the lexicon file";

    before = saves();
    choose(card(QStringLiteral("Kestrel")), QStringLiteral("停用"));
    ASSERT_TRUE(saved(before));
    ASSERT_TRUE(waitUntil(
        [&] {
            PersonalLexiconEntryCard *found = card(QStringLiteral("Kestrel"));
            return found && found->badgeTitles().contains(QStringLiteral("已停用"));
        },
        "the switched-off entry"));
    EXPECT_EQ(view.enabledCountColumn()->value(), QStringLiteral("1"));

    before = saves();
    choose(card(QStringLiteral("Kestrel")), QStringLiteral("删除"));
    ASSERT_TRUE(saved(before));
    ASSERT_TRUE(
        waitUntil([&] { return card(QStringLiteral("Kestrel")) == nullptr; }, "the deletion"));
    EXPECT_EQ(view.entryCountColumn()->value(), QStringLiteral("1"));

    const qsizetype loads = actions().count(QStringLiteral("load_snapshot"));
    view.syncButton()->click();
    ASSERT_TRUE(waitForAction(QStringLiteral("load_snapshot"), loads + 1));
    EXPECT_EQ(view.statusLabel()->text(), viewModel->personalLexiconSummary());
}

} // namespace
} // namespace tovalit
