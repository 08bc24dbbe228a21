#include "tests/views/editor_sheet_fixture.h"
#include "tests/views/lexicon/fake_personal_lexicon_page_model.h"
#include "views/design/tovalit_button.h"
#include "views/design/tovalit_text_label.h"
#include "views/lexicon/lexicon_editor_sheet.h"
#include "views/lexicon/personal_lexicon_entry_card.h"
#include "views/lexicon/personal_lexicon_view.h"

#include <QCheckBox>
#include <QLayout>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using namespace testing;

class LexiconEditorTest
    : public EditorSheetTest<PersonalLexiconView, FakePersonalLexiconPageModel> {
protected:
    LexiconEditorSheet &openEdit(const PersonalLexiconEntry &entry) {
        model->publish({entry});
        return openFirstCard();
    }
};

const QString pairMessage =
    QStringLiteral("原识别词和词条内容都要是可识别的短词，且不能完全相同。");
const QString hotwordMessage = QStringLiteral("词条内容只支持无空格的词或术语。");

TEST_F(LexiconEditorTest, TheRulesFollowEveryKeystroke) {
    LexiconEditorSheet &sheet = openNew();
    EXPECT_EQ(sheet.objectName(), QStringLiteral("LexiconEditorSheet"));
    EXPECT_EQ(sheet.titleLabel()->text(), QStringLiteral("新增词条"));
    EXPECT_EQ(sheet.primaryButton()->text(), QStringLiteral("加入我的词条"));
    EXPECT_TRUE(sheet.enabledToggle()->isChecked());
    EXPECT_EQ(message(sheet), QStringLiteral("词条内容不能为空。"));
    EXPECT_FALSE(sheet.primaryButton()->isEnabled());

    type(sheet.targetField(), QStringLiteral("   "));
    EXPECT_EQ(message(sheet), QStringLiteral("词条内容不能为空。"));

    type(sheet.targetField(), QStringLiteral("Quill Studio"));
    EXPECT_EQ(message(sheet), hotwordMessage) << "a hot word has no spaces";

    type(sheet.targetField(), QStringLiteral("Kovarindel"));
    EXPECT_EQ(message(sheet), std::nullopt);
    EXPECT_TRUE(sheet.primaryButton()->isEnabled());

    // Equal texts are refused, also when they differ only in case or width.
    type(sheet.sourceField(), QStringLiteral("ｋｏｖａｒｉｎｄｅｌ"));
    EXPECT_EQ(message(sheet), pairMessage);
    EXPECT_FALSE(sheet.primaryButton()->isEnabled());

    type(sheet.sourceField(), QStringLiteral("酷伯内特斯"));
    EXPECT_EQ(message(sheet), std::nullopt);
    EXPECT_EQ(page->editorDraft().sourceText, QStringLiteral("酷伯内特斯")) << "the page's draft";
}

TEST_F(LexiconEditorTest, TheSheetIs520By340WithEveryRowWhole) {
    // Longest state first: the message shows under the toggle.
    LexiconEditorSheet &sheet = openNew();
    sheet.show();
    pumpEvents();
    ASSERT_TRUE(message(sheet).has_value());
    for (const QString &text : {QString(), QStringLiteral("Kovarindel")}) {
        type(sheet.targetField(), text);
        sheet.layout()->activate();
        EXPECT_EQ(sheet.size(), QSize(520, 340));
        EXPECT_EQ(sheet.minimumSize(), QSize(520, 340)) << "fixed";
        EXPECT_EQ(sheet.maximumSize(), QSize(520, 340)) << "fixed";
        // Top to bottom inside the padding of 24, none cut short, none
        // overlapping the next.
        QList<QWidget *> rows{sheet.titleLabel(),    sheet.explanationLabel(),
                              sheet.targetField(),   sheet.sourceField(),
                              sheet.enabledToggle(), sheet.validationLabel(),
                              sheet.primaryButton()};
        int previousBottom = 24;
        for (QWidget *row : rows) {
            if (row->isHidden())
                continue;
            const QRect box(row->mapTo(&sheet, QPoint(0, 0)), row->size());
            const int wanted = row->hasHeightForWidth() ? row->heightForWidth(row->width())
                                                        : row->sizeHint().height();
            EXPECT_GE(box.height(), wanted) << row->metaObject()->className();
            EXPECT_GE(box.top(), previousBottom) << row->metaObject()->className();
            EXPECT_GE(box.left(), 24);
            EXPECT_LE(box.right() + 1, 520 - 24);
            previousBottom = box.bottom() + 1;
        }
        EXPECT_LE(previousBottom, 340 - 24) << "the buttons end inside the bottom padding";
    }
}

TEST_F(LexiconEditorTest, ASourceMakesAReplacementAndOnlySpacesMakeNone) {
    LexiconEditorSheet &sheet = openNew();
    type(sheet.targetField(), QStringLiteral("  张三 "));
    type(sheet.sourceField(), QStringLiteral("   "));
    EXPECT_EQ(message(sheet), std::nullopt) << "judged as a hot word";
    sheet.primaryButton()->click();
    ASSERT_EQ(model->saves.size(), 1u);
    EXPECT_EQ(model->saves[0].kind, PersonalLexiconEntryKind::hotword);
    EXPECT_EQ(model->saves[0].sourceText, std::nullopt);
    EXPECT_EQ(model->saves[0].targetText, QStringLiteral("张三"));
    EXPECT_EQ(model->saves[0].id, std::nullopt);
    EXPECT_EQ(model->saves[0].hitCount, 1);
    EXPECT_TRUE(model->saves[0].enabled);
    EXPECT_FALSE(page->isEditorPresented()) << "closed at once";

    LexiconEditorSheet &second = openNew();
    type(second.targetField(), QStringLiteral("Tovalit"));
    type(second.sourceField(), QStringLiteral(" 托瓦里 "));
    second.enabledToggle()->click();
    QTest::keyClick(second.sourceField(), Qt::Key_Return);
    ASSERT_EQ(model->saves.size(), 2u);
    EXPECT_EQ(model->saves[1].kind, PersonalLexiconEntryKind::replacement);
    EXPECT_EQ(model->saves[1].sourceText, QStringLiteral("托瓦里"));
    EXPECT_FALSE(model->saves[1].enabled);
}

TEST_F(LexiconEditorTest, EditingCarriesTheHiddenFieldsAndMaySwitchTheKind) {
    const QDateTime created(QDate(2026, 2, 1), QTime(8, 0));
    const QDateTime applied(QDate(2026, 3, 8), QTime(10, 0));
    auto replacement = lexiconEntry(QStringLiteral("Tovalit"), QStringLiteral("托瓦里"),
                                    PersonalLexiconEntrySource::manual, 7, false,
                                    PersonalLexiconCloudSyncStatus::synced,
                                    QDateTime(QDate(2026, 3, 7), QTime(9, 5)), applied);
    replacement.createdAt = created;
    LexiconEditorSheet &sheet = openEdit(replacement);
    EXPECT_EQ(sheet.titleLabel()->text(), QStringLiteral("编辑词条"));
    EXPECT_EQ(sheet.primaryButton()->text(), QStringLiteral("保存修改"));
    EXPECT_FALSE(sheet.enabledToggle()->isChecked());

    type(sheet.sourceField(), QString());
    EXPECT_EQ(message(sheet), std::nullopt);
    sheet.primaryButton()->click();
    ASSERT_EQ(model->saves.size(), 1u);
    const auto &save = model->saves[0];
    EXPECT_EQ(save.id, replacement.id());
    EXPECT_EQ(save.kind, PersonalLexiconEntryKind::hotword) << "the source was cleared";
    EXPECT_EQ(save.sourceText, std::nullopt);
    EXPECT_EQ(save.hitCount, 7);
    EXPECT_EQ(save.createdAt, created);
    EXPECT_EQ(save.lastAppliedAt, applied);
    EXPECT_FALSE(save.enabled) << "unchanged unless the user switched it";

    LexiconEditorSheet &hotword = openEdit(lexiconEntry(QStringLiteral("MivoPad")));
    type(hotword.sourceField(), QStringLiteral("米沃派德"));
    hotword.primaryButton()->click();
    ASSERT_EQ(model->saves.size(), 2u);
    EXPECT_EQ(model->saves[1].kind, PersonalLexiconEntryKind::replacement);
}

TEST_F(LexiconEditorTest, CancelEscapeAndADisabledButtonSaveNothing) {
    LexiconEditorSheet &sheet = openNew();
    type(sheet.targetField(), QStringLiteral("有 空格"));
    ASSERT_FALSE(sheet.primaryButton()->isEnabled());
    Q_EMIT sheet.primaryButton()->clicked();
    QTest::keyClick(sheet.targetField(), Qt::Key_Return);
    EXPECT_TRUE(model->saves.empty());
    EXPECT_TRUE(page->isEditorPresented());

    sheet.cancelButton()->click();
    EXPECT_FALSE(page->isEditorPresented());
    EXPECT_EQ(page->editorDraft().targetText, QStringLiteral("有 空格"))
        << "left for the next opening";

    LexiconEditorSheet &again = openNew();
    EXPECT_EQ(again.targetField()->text(), QString()) << "replaced before presenting";
    QTest::keyClick(&again, Qt::Key_Escape);
    EXPECT_FALSE(page->isEditorPresented());
    EXPECT_TRUE(model->saves.empty());
}

} // namespace
} // namespace tovalit
