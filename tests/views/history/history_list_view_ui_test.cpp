#include "tests/state/transcriber_view_model_lexicon_harness.h"
#include "views/design/tovalit_badge.h"
#include "views/design/tovalit_button.h"
#include "views/design/tovalit_empty_state_card.h"
#include "views/design/tovalit_menu_button.h"
#include "views/design/tovalit_palette.h"
#include "views/design/tovalit_search_field.h"
#include "views/design/tovalit_selectable_text.h"
#include "views/design/tovalit_symbol.h"
#include "views/design/tovalit_text_label.h"
#include "views/history/history_list_view.h"
#include "views/history/history_record_card.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>

namespace tovalit {
namespace {

using namespace testing;

QAction *menuAction(HistoryRecordCard *card, const QString &text) {
    for (QAction *action : card->moreButton()->itemMenu()->actions()) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

QStringList menuTexts(HistoryRecordCard *card) {
    QStringList texts;
    for (QAction *action : card->moreButton()->itemMenu()->actions())
        texts << (action->isSeparator() ? QStringLiteral("—") : action->text());
    return texts;
}

// The page over the real controller and history files. Tests wait for the
// end of every piece of work they start: the controller's tasks must not
// outlive it.
class HistoryPageTest : public LexiconTest {
protected:
    void SetUp() override {
        makeStore(true);
        gateway->defaultSpeech = gatewaySpeech();
        gateway->defaultFormatter = gatewayFormatter();
    }

    TranscriptRecord stored(QString transcript, TranscriptRecordStatus status,
                            std::optional<QString> note = std::nullopt, bool withAudio = false) {
        TranscriptRecord record;
        record.id = QUuid::createUuid();
        record.createdAt = time.now().addSecs(-3600 + 60 * m_made++);
        record.duration = 75.4;
        record.transcript = std::move(transcript);
        record.status = status;
        record.note = std::move(note);
        if (withAudio) {
            record.audioFileName = record.id.toString(QUuid::WithoutBraces).toUpper() + ".m4a";
            QFile file(history.recordingsDirectoryNow() + u'/' + *record.audioFileName);
            EXPECT_TRUE(file.open(QIODevice::WriteOnly));
            file.write("m4a");
        }
        const QList<TranscriptRecord> all = runTask(history.append(record));
        return all.first();
    }

    // The page over a view model that has loaded the history file.
    HistoryListView &openPage() {
        makeViewModel();
        runTask(viewModel->loadHistory());
        page = std::make_unique<HistoryListView>(*viewModel);
        page->resize(900, 700);
        page->show();
        settle();
        return *page;
    }

    HistoryRecordCard *onlyCard() {
        EXPECT_EQ(page->shownCards().size(), 1);
        return page->shownCards().value(0);
    }

    void TearDown() override { page.reset(); }

    std::unique_ptr<HistoryListView> page;

private:
    int m_made = 0;
};

TEST_F(HistoryPageTest, EmptyHistoryThenRefreshShowsTheNewestFirst) {
    HistoryListView &view = openPage();
    EXPECT_EQ(view.objectName(), QStringLiteral("HistoryListView"));
    EXPECT_TRUE(view.noRecordsCard()->isVisible());
    EXPECT_FALSE(view.noMatchesCard()->isVisible());
    EXPECT_TRUE(view.refreshButton()->isVisible());
    EXPECT_FALSE(view.clearAllButton()->isVisible()) << "nothing to clear";

    // Dictations finished elsewhere; "刷新" reloads the file.
    stored(QStringLiteral("第一条"), TranscriptRecordStatus::completed);
    stored(QStringLiteral("第二条"), TranscriptRecordStatus::completed);
    view.refreshButton()->click();
    ASSERT_TRUE(waitUntil([&] { return view.shownCards().size() == 2; }, "the reload"));
    EXPECT_EQ(view.shownCards()[0]->bodyText()->text(), QStringLiteral("第二条"));
    EXPECT_EQ(view.shownCards()[1]->bodyText()->text(), QStringLiteral("第一条"));
    EXPECT_FALSE(view.noRecordsCard()->isVisible());
    EXPECT_TRUE(view.clearAllButton()->isVisible());
    EXPECT_EQ(view.shownCards()[0]->durationLabel()->text(), QStringLiteral("01:15"));
}

TEST_F(HistoryPageTest, SearchNarrowsTheListAndSaysWhenNothingMatches) {
    const TranscriptRecord meeting =
        stored(QStringLiteral("和 Kovarindel 团队对齐发布计划"), TranscriptRecordStatus::completed);
    const TranscriptRecord mail =
        stored(QStringLiteral("给张三回邮件"), TranscriptRecordStatus::warning,
               QStringLiteral("插入失败，已复制到剪贴板"));
    HistoryListView &view = openPage();
    ASSERT_EQ(view.shownCards().size(), 2);

    view.searchField()->setText(QStringLiteral("  KOVARINDEL "));
    ASSERT_EQ(view.shownCards().size(), 1);
    EXPECT_EQ(view.shownCards()[0]->record().id, meeting.id);

    view.searchField()->setText(QStringLiteral("剪贴板"));
    ASSERT_EQ(view.shownCards().size(), 1);
    EXPECT_EQ(view.shownCards()[0]->record().id, mail.id);

    view.searchField()->setText(QStringLiteral("不存在的词"));
    EXPECT_TRUE(view.shownCards().isEmpty());
    EXPECT_TRUE(view.noMatchesCard()->isVisible());
    EXPECT_FALSE(view.noRecordsCard()->isVisible());
    EXPECT_TRUE(view.clearAllButton()->isVisible()) << "records exist, only hidden";

    view.searchField()->setText(QStringLiteral("   "));
    EXPECT_EQ(view.shownCards().size(), 2);
    EXPECT_FALSE(view.noMatchesCard()->isVisible());
}

TEST_F(HistoryPageTest, LongTextsExpandAndCollapse) {
    const QString text = QStringLiteral("长").repeated(121);
    const TranscriptRecord longOne = stored(text, TranscriptRecordStatus::completed);
    stored(QStringLiteral("短").repeated(120), TranscriptRecordStatus::completed);
    HistoryListView &view = openPage();

    HistoryRecordCard *shortCard = view.shownCards()[0];
    EXPECT_FALSE(shortCard->expandButton()->isVisible()) << "exactly 120 characters";
    EXPECT_EQ(shortCard->bodyText()->text(), QStringLiteral("短").repeated(120));

    HistoryRecordCard *card = view.cardFor(longOne.id);
    ASSERT_NE(card, nullptr);
    ASSERT_TRUE(card->expandButton()->isVisible());
    EXPECT_EQ(card->expandButton()->text(), QStringLiteral("全文"));
    EXPECT_EQ(card->bodyText()->text(), QStringLiteral("长").repeated(120) + QChar(0x2026));
    EXPECT_EQ(card->bodyText()->maximumLineCount(), 4);

    card->expandButton()->click();
    EXPECT_EQ(card->expandButton()->text(), QStringLiteral("收起"));
    EXPECT_EQ(card->bodyText()->text(), text);
    EXPECT_EQ(card->bodyText()->maximumLineCount(), 0) << "no line limit once expanded";
    EXPECT_TRUE(view.expandedRecordIDs().contains(longOne.id));

    // The expansion survives a search that hides the card and one that
    // shows it again.
    view.searchField()->setText(QStringLiteral("短"));
    view.searchField()->clear();
    EXPECT_EQ(view.cardFor(longOne.id)->bodyText()->text(), text);

    view.cardFor(longOne.id)->expandButton()->click();
    EXPECT_EQ(view.cardFor(longOne.id)->expandButton()->text(), QStringLiteral("全文"));
    EXPECT_FALSE(view.expandedRecordIDs().contains(longOne.id));
}

TEST_F(HistoryPageTest, CopyPutsTheTrimmedTextOnThePasteboardWithAToast) {
    stored(QStringLiteral("  今天下午三点开会\n"), TranscriptRecordStatus::completed);
    openPage();
    HistoryRecordCard *card = onlyCard();
    ASSERT_TRUE(card->copyButton()->isEnabled());
    card->copyButton()->click();
    EXPECT_EQ(pasteboard->string(), QStringLiteral("今天下午三点开会"));
    ASSERT_TRUE(viewModel->appToast().has_value());
    EXPECT_EQ(viewModel->appToast()->message, QStringLiteral("已复制到剪贴板"));
    EXPECT_FALSE(viewModel->appToast()->isError);
    EXPECT_FALSE(card->retryButton()->isVisible()) << "a completed record is never retried";
}

TEST_F(HistoryPageTest, AFailedRecordWithoutTextExplainsItselfAndCannotBeCopied) {
    stored(QString(), TranscriptRecordStatus::failed);
    openPage();
    HistoryRecordCard *card = onlyCard();
    EXPECT_EQ(card->bodyText()->text(),
              QStringLiteral("本次未产出可用文本，可查看备注或用归档录音重试。"));
    EXPECT_EQ(card->statusBadge()->title(), QStringLiteral("失败"));
    EXPECT_EQ(card->statusBadge()->tone(), TovalitBadgeTone::danger);
    ASSERT_TRUE(card->secondaryLine()->isVisible());
    EXPECT_EQ(card->secondaryText()->text(), QStringLiteral("本次转写失败，可稍后重试。"));
    EXPECT_EQ(card->secondaryIcon()->symbolName(), QStringLiteral("xmark.octagon"));
    EXPECT_EQ(card->secondaryText()->color(), TovalitPalette::red());
    EXPECT_FALSE(card->copyButton()->isEnabled());
    EXPECT_FALSE(card->retryButton()->isVisible()) << "no recording to retry from";
    EXPECT_EQ(menuTexts(card), (QStringList{QStringLiteral("—"), QStringLiteral("删除记录")}));
    card->copyButton()->click();
    EXPECT_FALSE(viewModel->appToast().has_value());
}

TEST_F(HistoryPageTest, RetryRecognisesTheArchivedRecordingAgain) {
    const TranscriptRecord failed =
        stored(QStringLiteral("旧的文本"), TranscriptRecordStatus::failed,
               QStringLiteral("流式识别中断"), true);
    fileAnswers.fallback = QStringLiteral("重新识别的文本");
    formatterAnswers.fallback = QStringLiteral("重新识别的文本。");
    HistoryListView &view = openPage();
    HistoryRecordCard *card = onlyCard();
    EXPECT_EQ(card->secondaryText()->text(), QStringLiteral("流式识别中断"));
    EXPECT_EQ(card->secondaryText()->color(), TovalitPalette::red());
    ASSERT_TRUE(card->retryButton()->isVisible());

    card->retryButton()->click();
    ASSERT_TRUE(waitUntil([&] { return view.shownCards().size() == 2; }, "the retried record"));
    ASSERT_TRUE(
        waitUntil([&] { return panel->last().startsWith(u"completion"); }, "the end of the retry"));
    ASSERT_EQ(fileCalls.size(), 1u);
    EXPECT_EQ(fileCalls[0].audioFile,
              history.recordingsDirectoryNow() + u'/' + *failed.audioFileName);
    EXPECT_EQ(view.shownCards()[0]->bodyText()->text(), QStringLiteral("重新识别的文本。"));
    EXPECT_EQ(view.shownCards()[1]->record().id, failed.id) << "the retried one stays";
}

TEST_F(HistoryPageTest, MenuRevealsTheFilesAndDeletesAtOnce) {
    const TranscriptRecord record =
        stored(QStringLiteral("带文件的记录"), TranscriptRecordStatus::warning, {}, true);
    stored(QStringLiteral("另一条"), TranscriptRecordStatus::completed);
    HistoryListView &view = openPage();
    HistoryRecordCard *card = view.cardFor(record.id);
    ASSERT_NE(card, nullptr);
    ASSERT_TRUE(card->record().transcriptFileName.has_value()) << "the store writes one";
    EXPECT_EQ(menuTexts(card),
              (QStringList{QStringLiteral("打开转写文件"), QStringLiteral("打开录音文件"),
                           QStringLiteral("—"), QStringLiteral("删除记录")}));

    menuAction(card, QStringLiteral("打开转写文件"))->trigger();
    menuAction(card, QStringLiteral("打开录音文件"))->trigger();
    ASSERT_TRUE(waitUntil([&] { return fileViewer->revealed().size() == 2; }, "both reveals"));
    EXPECT_EQ(fileViewer->revealed()[0], QStringList{runTask(history.transcriptsDirectoryURL()) +
                                                     u'/' + *card->record().transcriptFileName});
    EXPECT_EQ(fileViewer->revealed()[1],
              QStringList{history.recordingsDirectoryNow() + u'/' + *record.audioFileName});

    menuAction(card, QStringLiteral("删除记录"))->trigger();
    ASSERT_TRUE(waitUntil([&] { return view.shownCards().size() == 1; }, "the deletion"));
    EXPECT_EQ(view.cardFor(record.id), nullptr);
    EXPECT_FALSE(QFile::exists(history.recordingsDirectoryNow() + u'/' + *record.audioFileName));
    EXPECT_EQ(viewModel->records().size(), 1);
}

TEST_F(HistoryPageTest, ClearingEverythingActsAtOnce) {
    stored(QStringLiteral("第一条"), TranscriptRecordStatus::completed, {}, true);
    stored(QStringLiteral("第二条"), TranscriptRecordStatus::completed);
    HistoryListView &view = openPage();

    // Loading ran the day's learning batch, so clearing also resets its
    // bookkeeping and saves the lexicon.
    ASSERT_TRUE(viewModel->personalLexiconHistoryLearningState().lastDailyBatchAt.has_value());
    const qsizetype saves = actions().count(QStringLiteral("persist_local_only"));
    view.clearAllButton()->click();
    for (QWidget *window : QApplication::topLevelWidgets())
        EXPECT_FALSE(window->isVisible() && qobject_cast<QDialog *>(window))
            << "no question asked: " << window->objectName().toStdString();
    ASSERT_TRUE(waitUntil([&] { return view.noRecordsCard()->isVisible(); }, "the clearing"));
    ASSERT_TRUE(waitForAction(QStringLiteral("persist_local_only"), saves + 1));
    EXPECT_TRUE(viewModel->records().isEmpty());
    EXPECT_TRUE(runTask(history.loadRecords()).isEmpty());
    EXPECT_TRUE(QDir(history.recordingsDirectoryNow()).isEmpty(QDir::Files))
        << "the recordings went with their records";
    EXPECT_FALSE(view.clearAllButton()->isVisible());
}

TEST_F(HistoryPageTest, ALongHistoryIsMadeInBatchesAsItIsScrolled) {
    for (int index = 0; index < HistoryListView::cardBatchSize + 15; ++index)
        stored(QStringLiteral("记录 %1").arg(index), TranscriptRecordStatus::completed);
    HistoryListView &view = openPage();
    ASSERT_EQ(view.shownCards().size(), HistoryListView::cardBatchSize);

    auto *list = view.findChild<QScrollArea *>(QStringLiteral("HistoryRecordsList"));
    ASSERT_NE(list, nullptr);
    QScrollBar *bar = list->verticalScrollBar();
    ASSERT_TRUE(waitUntil([&] { return bar->maximum() > 0; }, "a scrollable list"));
    bar->setValue(bar->maximum());
    ASSERT_TRUE(
        waitUntil([&] { return view.shownCards().size() == HistoryListView::cardBatchSize + 15; },
                  "the rest of the history"));
    EXPECT_EQ(view.shownCards().last()->bodyText()->text(), QStringLiteral("记录 0"));
}

} // namespace
} // namespace tovalit
