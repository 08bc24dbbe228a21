#include "tests/views/lexicon/fake_personal_lexicon_page_model.h"
#include "tests/views/page_snapshot.h"
#include "views/design/tovalit_button.h"
#include "views/lexicon/lexicon_editor_sheet.h"
#include "views/lexicon/personal_lexicon_entry_card.h"
#include "views/lexicon/personal_lexicon_view.h"

#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using namespace testing;
using Source = PersonalLexiconEntrySource;
using Sync = PersonalLexiconCloudSyncStatus;

TEST(LexiconSnapshotTest, RendersTheLexiconAndItsEditor) {
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    const QDateTime now = QDateTime::currentDateTime();
    auto model = std::make_shared<FakePersonalLexiconPageModel>();
    PersonalLexiconCloudState failing;
    failing.lastErrorMessage = QStringLiteral("热词表同步失败：签名校验未通过（403）");
    model->publish(
        {lexiconEntry(QStringLiteral("Kovarindel"), {}, Source::manual, 12, true, Sync::synced,
                      now.addSecs(-3600)),
         lexiconEntry(QStringLiteral("Tovalit"), QStringLiteral("托瓦里"),
                      Source::insertionCorrection, 4, true, Sync::failed, now.addSecs(-7200)),
         lexiconEntry(QStringLiteral("张三"), {}, Source::manual, 1, false, Sync::pending,
                      now.addDays(-1)),
         lexiconEntry(QStringLiteral("热词表"), {}, Source::historyFrequency, 30, true,
                      Sync::localOnly, now)},
        failing, *failing.lastErrorMessage);
    PersonalLexiconView page(model);
    const QImage image = pageSnapshot(&page, QSize(960, 1000), QStringLiteral("lexicon"));
    EXPECT_EQ(page.entryCards().size(), 3);
    EXPECT_FALSE(image.isNull());

    page.resize(960, 800);
    page.show();
    page.addButton()->click();
    ASSERT_NE(page.editorSheet(), nullptr);
    sheetSnapshot(page.editorSheet(), QStringLiteral("lexicon-editor-new"));
    QTest::keyClicks(page.editorSheet()->targetField(), QStringLiteral("Kovarindel"));
    QTest::keyClicks(page.editorSheet()->sourceField(), QStringLiteral("kovarindel"));
    sheetSnapshot(page.editorSheet(), QStringLiteral("lexicon-editor-invalid"));
    page.editorSheet()->cancelButton()->click();

    auto empty = std::make_shared<FakePersonalLexiconPageModel>();
    empty->publish(
        {}, {},
        QStringLiteral("未配置火山 OpenAPI AK/SK。我的词条会先在本地生效；完成配置后会自动"
                       "同步到云端。"));
    PersonalLexiconView emptyPage(empty);
    pageSnapshot(&emptyPage, QSize(760, 800), QStringLiteral("lexicon-empty"));
    QLocale::setDefault(QLocale::c());
}

} // namespace
} // namespace tovalit
