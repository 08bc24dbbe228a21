#include "platform/fake/fake_accessibility.h"
#include "platform/fake/fake_window_system.h"
#include "platform/fake/in_memory_defaults_store.h"
#include "platform/fake/in_memory_pasteboard.h"
#include "platform/fake/in_memory_secret_store.h"
#include "platform/fake/recording_key_sender.h"
#include "platform/fake/recording_remote_desktop_keyboard.h"
#include "services/permissions/remote_desktop_keyboard_access.h"
#include "services/settings/app_configuration_store.h"
#include "services/text_injection/focused_input_insertion_error.h"
#include "services/text_injection/focused_input_insertion_service.h"
#include "tests/services/text_injection/insertion_printers.h"
#include "tests/services/text_injection/scripted_text_field.h"
#include "tests/support/capture_log.h"
#include "tests/support/manual_sleeper.h"
#include "tests/support/run_task.h"

#include <future>
#include <gtest/gtest.h>

namespace tovalit {
namespace {

using Service = FocusedInputInsertionService;
using testing::runTask;
using testing::ScriptedTextField;
using testing::waitUntil;

// Time that passes only when the service waits. The watch's polls are held
// back until the test lets them run.
struct FakeTime {
    double now = 0;
    QList<double> sleeps;
    std::function<void(double)> onSleep;
    bool pollsMayRun = false;

    int count(double seconds) const { return int(sleeps.count(seconds)); }
};

QCoro::Task<void> fakeSleep(std::shared_ptr<FakeTime> time, double seconds) {
    time->sleeps.append(seconds);
    while (seconds == Service::correctionObservationPollingInterval && !time->pollsMayRun)
        co_await sleepFor(0.002, CancelToken());
    time->now += seconds;
    if (time->onSleep)
        time->onSleep(seconds);
}

QCoro::Task<void> insertTwice(Service *service, ActiveInteractionContext context,
                              QList<InsertionResult> *results) {
    QCoro::Task<InsertionResult> first = service->insert(QStringLiteral("一"), context, {});
    QCoro::Task<InsertionResult> second = service->insert(QStringLiteral("二"), context, {});
    results->append(co_await std::move(first));
    results->append(co_await std::move(second));
}

QCoro::Task<void> insertInto(Service *service, QString text,
                             std::optional<InsertionResult> *result) {
    ActiveInteractionContext context;
    context.processIdentifier = 42;
    *result = co_await service->insert(std::move(text), std::move(context), {});
}

class FocusedInputInsertionServiceTest : public testing::WithDiagnosticsLog {
protected:
    void SetUp() override {
        app->set(ax::focusedUIElement, AccessibilityElementRef(field));
        accessibility->setApplication(42, app);
        pasteboard->copyFromElsewhere(QStringLiteral("old"));
        keys->onPaste = [this] {
            pastes.append(pasteboard->string().value_or(QString()));
            field->paste(pastes.last());
            return true;
        };
        makeService(DisplaySession{});
    }

    void makeService(DisplaySession session,
                     std::shared_ptr<RemoteDesktopKeyboardAccess> desktopKeyboard = nullptr) {
        service = std::make_unique<Service>(
            accessibility, pasteboard, keys,
            [time = time](double seconds, CancelToken) { return fakeSleep(time, seconds); },
            [time = time] { return time->now; }, session, windows, std::move(desktopKeyboard));
    }

    void TearDown() override {
        time->pollsMayRun = true;
        service.reset();
        // Every watch and clipboard restore has run to its end.
        waitUntil([this] { return time.use_count() == 1; }, "the background work to end");
    }

    static ActiveInteractionContext context() {
        ActiveInteractionContext context;
        context.appName = QStringLiteral("Notes");
        context.bundleID = QStringLiteral("org.example.Notes");
        context.processIdentifier = 42;
        context.naturalFormattingContext.windowTitle = QStringLiteral("Plans");
        return context;
    }

    InsertionResult insert(const QString &text,
                           std::optional<ActiveInteractionContext> interaction = context()) {
        return runTask(service->insert(text, std::move(interaction), watched.callback()));
    }

    // Lets the background restore run.
    void settle() { testing::processEventsFor(std::chrono::milliseconds(30)); }

    // The field text the watch took as "right after the insertion": the
    // user edits the field and the watch's report carries that text.
    QString watchedValue() {
        field->set(QStringLiteral("✎"), {1, 0});
        time->pollsMayRun = true;
        if (!waitUntil([this] { return !watched.events().empty(); }, "the edit to be reported"))
            return {};
        return watched.events().front().session()->originalFieldText;
    }

    bool watchStarted() {
        settle();
        return time->count(Service::correctionObservationPollingInterval) > 0;
    }

    QStringList resultLines() const { return logLines(QStringLiteral("insert.result")); }
    QStringList pathLines() const { return logLines(QStringLiteral("insert.path")); }

    struct Events {
        std::shared_ptr<std::vector<ObservedInsertionEditEvent>> list =
            std::make_shared<std::vector<ObservedInsertionEditEvent>>();
        ObservedInsertionEditCallback callback() const {
            return
                [list = list](const ObservedInsertionEditEvent &event) { list->push_back(event); };
        }
        std::vector<ObservedInsertionEditEvent> events() const { return *list; }
    };

    std::shared_ptr<FakeAccessibilityClient> accessibility =
        std::make_shared<FakeAccessibilityClient>();
    std::shared_ptr<FakeAccessibilityElement> app =
        FakeAccessibilityElement::create(QStringLiteral("app"));
    std::shared_ptr<ScriptedTextField> field =
        std::make_shared<ScriptedTextField>(QStringLiteral("abc"), AccessibilityRange{3, 0});
    std::shared_ptr<InMemoryPasteboard> pasteboard = std::make_shared<InMemoryPasteboard>();
    std::shared_ptr<RecordingKeySender> keys = std::make_shared<RecordingKeySender>();
    std::shared_ptr<FakeWindowSystem> windows = std::make_shared<FakeWindowSystem>();
    std::shared_ptr<FakeTime> time = std::make_shared<FakeTime>();
    std::unique_ptr<Service> service;
    Events watched;
    QStringList pastes;
};

TEST_F(FocusedInputInsertionServiceTest, EmptyTextTouchesNothingButBlanksGoAllTheWay) {
    EXPECT_EQ(insert(QString()), InsertionResult::copiedToClipboard);
    EXPECT_TRUE(logLines().isEmpty());
    EXPECT_EQ(pasteboard->writeCount(), 0);
    EXPECT_EQ(keys->pasteCount(), 0);
    EXPECT_FALSE(watchStarted());

    EXPECT_EQ(insert(QStringLiteral("  ")), InsertionResult::pastedFromClipboard);
    EXPECT_EQ(field->value(), QStringLiteral("abc  "));
}

TEST_F(FocusedInputInsertionServiceTest, VerifiedPasteGivesTheClipboardBackAfterADelay) {
    EXPECT_EQ(insert(QStringLiteral("你好")), InsertionResult::pastedFromClipboard);
    EXPECT_EQ(field->value(), QStringLiteral("abc你好"));
    EXPECT_EQ(pastes, QStringList{QStringLiteral("你好")});
    EXPECT_EQ(logLines(QStringLiteral("insert.start")),
              QStringList{QStringLiteral(
                  "trusted=true | input=你好 | liveSelection=3..<3 | liveValue=abc | "
                  "capturedBefore=<nil> | capturedSelected=<nil> | capturedAfter=<nil>")});
    EXPECT_EQ(logLines(QStringLiteral("insert.prepare")),
              QStringList{QStringLiteral("source=none | effectiveText=你好 | "
                                         "effectiveSelection=3..<3 | expanded=false")});
    EXPECT_EQ(logLines(QStringLiteral("insert.verify")),
              QStringList{QStringLiteral("paste-verified | expected=abc你好")});
    EXPECT_EQ(resultLines(),
              QStringList{QStringLiteral("result=pastedFromClipboard | path=verified")});
    EXPECT_TRUE(pathLines().isEmpty());
    ASSERT_TRUE(waitUntil([this] { return pasteboard->string() == QStringLiteral("old"); },
                          "the clipboard to come back"));
    EXPECT_EQ(time->sleeps.mid(0, 3), (QList<double>{0.06, 0.16, 0.32}));
    EXPECT_EQ(watchedValue(), QStringLiteral("abc你好"));
}

TEST_F(FocusedInputInsertionServiceTest, AWatchEndsWithItsServiceAndReportsNothingAfterwards) {
    EXPECT_EQ(insert(QStringLiteral("你好")), InsertionResult::pastedFromClipboard);
    ASSERT_TRUE(watchStarted());
    service.reset();
    // An edit that would be reported once it rests, had the service stayed.
    field->set(QStringLiteral("✎"), {1, 0});
    time->pollsMayRun = true;
    ASSERT_TRUE(waitUntil([this] { return time.use_count() == 1; }, "the watch to end"));
    EXPECT_TRUE(watched.events().empty());
    EXPECT_EQ(time->count(Service::correctionObservationPollingInterval), 1);
    // The clipboard still comes back: that is the user's, not the service's.
    EXPECT_EQ(pasteboard->string(), QStringLiteral("old"));
}

TEST_F(FocusedInputInsertionServiceTest, RestoreLeavesWhatSomebodyCopiedDuringTheDelay) {
    time->onSleep = [this](double seconds) {
        if (seconds == Service::pasteboardRestoreDelay)
            pasteboard->copyFromElsewhere(QStringLiteral("new"));
    };
    EXPECT_EQ(insert(QStringLiteral("你好")), InsertionResult::pastedFromClipboard);
    settle();
    EXPECT_EQ(time->count(Service::pasteboardRestoreDelay), 1);
    EXPECT_EQ(pasteboard->string(), QStringLiteral("new"));
}

TEST_F(FocusedInputInsertionServiceTest, AnEmptyClipboardIsEmptyAgainAfterwards) {
    pasteboard->setItems({});
    EXPECT_EQ(insert(QStringLiteral("你好")), InsertionResult::pastedFromClipboard);
    ASSERT_TRUE(
        waitUntil([this] { return pasteboard->items().isEmpty(); }, "the clipboard to be cleared"));
    EXPECT_EQ(pasteboard->writeCount(), 1);
}

TEST_F(FocusedInputInsertionServiceTest, FormsTheSnapshotLeftOutAreLoggedAndTheRestRestored) {
    PasteboardItem screenshot;
    screenshot.representations = {
        {QStringLiteral("text/plain"), QByteArray("caption")},
        {QStringLiteral("image/png"), std::nullopt,
         QStringLiteral("larger than the snapshot keeps")},
        {QStringLiteral("image/bmp"), std::nullopt, QStringLiteral("the same image as image/png")}};
    pasteboard->setItems({screenshot});
    EXPECT_EQ(insert(QStringLiteral("你好")), InsertionResult::pastedFromClipboard);
    EXPECT_EQ(logLines(QStringLiteral("insert.pasteboard")),
              QStringList{QStringLiteral("snapshot skipped=image/png (larger than the snapshot "
                                         "keeps), image/bmp (the same image as image/png)")});
    ASSERT_TRUE(waitUntil([this] { return pasteboard->string() == QStringLiteral("caption"); },
                          "the clipboard to come back"));
    ASSERT_EQ(pasteboard->items().size(), 1);
    EXPECT_EQ(pasteboard->items()[0].representations.size(), 1);
}

// An owner too busy to answer before the paste leaves nothing to give
// back: the clipboard keeps the dictation rather than nothing at all.
TEST_F(FocusedInputInsertionServiceTest, AClipboardWhoseOwnerNeverAnsweredKeepsTheDictation) {
    PasteboardItem unanswered;
    unanswered.representations = {
        {QStringLiteral("TARGETS"), std::nullopt, QStringLiteral("no answer from the owner")}};
    pasteboard->setItems({unanswered});
    EXPECT_EQ(insert(QStringLiteral("你好")), InsertionResult::pastedFromClipboard);
    ASSERT_TRUE(waitUntil([this] { return !logLines(QStringLiteral("insert.restore")).isEmpty(); },
                          "the restore"));
    EXPECT_EQ(pasteboard->string(), QStringLiteral("你好"));
}

TEST_F(FocusedInputInsertionServiceTest, TextAlreadyInTheFieldIsNotWrittenAgain) {
    field->set(QStringLiteral("Meet at the station at ten"), {12, 0});
    EXPECT_EQ(insert(QStringLiteral("at the station")), InsertionResult::insertedDirectly);
    EXPECT_EQ(logLines(QStringLiteral("insert.prepare")),
              QStringList{QStringLiteral("source=live | effectiveText=<empty> | "
                                         "effectiveSelection=12..<12 | expanded=false")});
    EXPECT_EQ(resultLines(),
              QStringList{QStringLiteral("result=insertedDirectly | reason=empty-effective-text")});
    EXPECT_EQ(field->valueWrites(), 0);
    EXPECT_EQ(pasteboard->writeCount(), 0);
    EXPECT_EQ(keys->pasteCount(), 0);
    EXPECT_FALSE(watchStarted());
}

TEST_F(FocusedInputInsertionServiceTest, WithoutTrustTheTextStaysOnTheClipboardForGood) {
    accessibility->setTrusted(false);
    EXPECT_EQ(insert(QStringLiteral("你好")), InsertionResult::insertFailedCopiedToClipboard);
    EXPECT_EQ(logLines(QStringLiteral("insert.start")),
              QStringList{QStringLiteral(
                  "trusted=false | input=你好 | liveSelection=<nil> | liveValue=<nil> | "
                  "capturedBefore=<nil> | capturedSelected=<nil> | capturedAfter=<nil>")});
    EXPECT_EQ(resultLines(),
              QStringList{QStringLiteral(
                  "result=insertFailedCopiedToClipboard | reason=accessibility-untrusted")});
    settle();
    EXPECT_EQ(pasteboard->string(), QStringLiteral("你好"));
    EXPECT_EQ(keys->pasteCount(), 0);
    EXPECT_EQ(field->value(), QStringLiteral("abc"));

    pasteboard->refuseNextWrites(1);
    try {
        insert(QStringLiteral("再见"));
        ADD_FAILURE() << "a refused clipboard write went unreported";
    } catch (const FocusedInputInsertionError &error) {
        EXPECT_EQ(error.kind(), FocusedInputInsertionError::Kind::pasteboardWriteFailed);
        EXPECT_EQ(error.localizedDescription(), QStringLiteral("无法把文本写入剪贴板。"));
    }
    EXPECT_EQ(resultLines().size(), 1);
}

TEST_F(FocusedInputInsertionServiceTest, ReTakenWordsAreWrittenDirectlyLeavingTheClipboardAlone) {
    field->set(QStringLiteral("See you at noon tomorrow"), {8, 0});
    EXPECT_EQ(insert(QStringLiteral("later tomorrow")), InsertionResult::insertedDirectly);
    EXPECT_EQ(field->value(), QStringLiteral("See you later tomorrow"));
    EXPECT_EQ(field->selection(), (AccessibilityRange{13, 0}));
    EXPECT_EQ(logLines(QStringLiteral("insert.prepare")),
              QStringList{QStringLiteral("source=live | effectiveText=later | "
                                         "effectiveSelection=8..<15 | expanded=true")});
    EXPECT_EQ(pathLines(), QStringList{QStringLiteral("directInsert-expanded-replacement")});
    EXPECT_EQ(resultLines(),
              QStringList{QStringLiteral("result=insertedDirectly | path=direct-expanded")});
    EXPECT_EQ(pasteboard->writeCount(), 0);
    EXPECT_EQ(keys->pasteCount(), 0);
    EXPECT_EQ(watchedValue(), QStringLiteral("See you later tomorrow"));
}

TEST_F(FocusedInputInsertionServiceTest, WidenedRangeIsSelectedAndPastedOverWhenTheWriteIsRefused) {
    field->set(QStringLiteral("See you at noon tomorrow"), {8, 0});
    field->refuseValueWrites(1);
    EXPECT_EQ(insert(QStringLiteral("later tomorrow")), InsertionResult::pastedFromClipboard);
    EXPECT_EQ(field->value(), QStringLiteral("See you later tomorrow"));
    EXPECT_EQ(pastes, QStringList{QStringLiteral("later")});
}

// Chromium takes the selection at once and applies it a moment later: the
// keys wait for it, or the paste would land beside the words it replaces.
// A selection that never shows is no selection.
TEST_F(FocusedInputInsertionServiceTest, AWidenedRangeIsPastedOverOnlyOnceTheEditorShowsIt) {
    field->set(QStringLiteral("See you at noon tomorrow"), {8, 0});
    field->refuseValueWrites(1);
    field->showSelectionWritesAfterReads(2);
    EXPECT_EQ(insert(QStringLiteral("later tomorrow")), InsertionResult::pastedFromClipboard);
    EXPECT_EQ(field->value(), QStringLiteral("See you later tomorrow"));
    EXPECT_EQ(pastes, QStringList{QStringLiteral("later")});

    pastes.clear();
    field->set(QStringLiteral("See you at noon tomorrow"), {8, 0});
    field->refuseValueWrites(2);
    field->showSelectionWritesAfterReads(1000);
    EXPECT_EQ(insert(QStringLiteral("later tomorrow")), InsertionResult::pastedFromClipboard);
    EXPECT_EQ(pastes, QStringList{QStringLiteral("later tomorrow")});
    EXPECT_EQ(field->value(), QStringLiteral("See you later tomorrowat noon tomorrow"));
}

TEST_F(FocusedInputInsertionServiceTest, RangeThatCannotBeSelectedFallsBackToTheDirectWrite) {
    field->set(QStringLiteral("See you at noon tomorrow"), {8, 0});
    field->refuseValueWrites(1);
    field->setAcceptsSelection(false);
    EXPECT_EQ(insert(QStringLiteral("later tomorrow")), InsertionResult::insertedDirectly);
    EXPECT_EQ(field->value(), QStringLiteral("See you later tomorrow"));
    EXPECT_EQ(pathLines(), QStringList{QStringLiteral("directInsert-after-select-range-failed")});
    EXPECT_EQ(resultLines(),
              QStringList{QStringLiteral(
                  "result=insertedDirectly | path=direct-after-select-range-failed")});
    EXPECT_EQ(keys->pasteCount(), 0);
    ASSERT_TRUE(waitUntil([this] { return pasteboard->string() == QStringLiteral("old"); },
                          "the clipboard to come back"));
    EXPECT_EQ(time->count(Service::pasteboardRestoreDelay), 0);
    EXPECT_EQ(watchedValue(), QStringLiteral("See you later tomorrow"));
}

// The stretch the text was to re-take stays: the dictation goes in at the
// caret as it was said, instead of nowhere.
TEST_F(FocusedInputInsertionServiceTest, RangeThatCannotBeSelectedNorWrittenIsPastedAtTheCaret) {
    field->set(QStringLiteral("See you at noon tomorrow"), {8, 0});
    field->refuseValueWrites(2);
    field->setAcceptsSelection(false);
    EXPECT_EQ(insert(QStringLiteral("later tomorrow")), InsertionResult::pastedFromClipboard);
    EXPECT_EQ(pastes, QStringList{QStringLiteral("later tomorrow")});
    EXPECT_EQ(field->value(), QStringLiteral("See you later tomorrowat noon tomorrow"));
    EXPECT_EQ(resultLines(),
              QStringList{QStringLiteral("result=pastedFromClipboard | path=verified")});
    ASSERT_TRUE(waitUntil([this] { return pasteboard->string() == QStringLiteral("old"); },
                          "the clipboard to come back"));
}

TEST_F(FocusedInputInsertionServiceTest, RefusedClipboardWriteFallsBackToTheDirectWrite) {
    pasteboard->refuseNextWrites(1);
    EXPECT_EQ(insert(QStringLiteral("你好")), InsertionResult::insertedDirectly);
    EXPECT_EQ(field->value(), QStringLiteral("abc你好"));
    EXPECT_EQ(pathLines(),
              QStringList{QStringLiteral("directInsert-after-pasteboard-write-failure")});
    EXPECT_EQ(resultLines(), QStringList{QStringLiteral(
                                 "result=insertedDirectly | path=direct-after-write-failure")});
    EXPECT_EQ(pasteboard->string(), QStringLiteral("old"));
    EXPECT_EQ(keys->pasteCount(), 0);

    // Neither way works: the user's clipboard is back and the caller hears.
    pasteboard->refuseNextWrites(1);
    field->refuseValueWrites(1);
    EXPECT_THROW(insert(QStringLiteral("再见")), FocusedInputInsertionError);
    EXPECT_EQ(pasteboard->string(), QStringLiteral("old"));
    EXPECT_EQ(resultLines().size(), 1);
}

TEST_F(FocusedInputInsertionServiceTest, PasteKeysThatCannotBeSentFallBackToTheDirectWrite) {
    keys->onPaste = [] { return false; };
    EXPECT_EQ(insert(QStringLiteral("你好")), InsertionResult::insertedDirectly);
    EXPECT_EQ(field->value(), QStringLiteral("abc你好"));
    EXPECT_EQ(pathLines(),
              QStringList{QStringLiteral("directInsert-after-paste-shortcut-failure")});
    EXPECT_EQ(resultLines(),
              QStringList{QStringLiteral(
                  "result=insertedDirectly | path=direct-after-paste-shortcut-failure")});
    ASSERT_TRUE(waitUntil([this] { return pasteboard->string() == QStringLiteral("old"); },
                          "the clipboard to come back"));

    field->refuseValueWrites(1);
    EXPECT_EQ(insert(QStringLiteral("再见")), InsertionResult::insertFailedCopiedToClipboard);
    EXPECT_EQ(
        resultLines().last(),
        QStringLiteral("result=insertFailedCopiedToClipboard | reason=paste-shortcut-failed"));
    settle();
    EXPECT_EQ(pasteboard->string(), QStringLiteral("再见"));
}

TEST_F(FocusedInputInsertionServiceTest, WithoutAFieldThePasteGoesOutUnchecked) {
    app->remove(ax::focusedUIElement);
    ActiveInteractionContext interaction = context();
    interaction.naturalFormattingContext.surroundingTextBeforeCursor = QStringLiteral("Hello wor");
    EXPECT_EQ(insert(QStringLiteral("world peace"), interaction),
              InsertionResult::pastedNeedsAttention);
    EXPECT_EQ(time->sleeps.mid(0, 3), (QList<double>{0.04, 0.04, 0.04}));
    EXPECT_EQ(logLines(QStringLiteral("insert.live-context")),
              QStringList{
                  QStringLiteral("unavailable | pid=42 | error=没有找到可写入的当前焦点输入框。")});
    EXPECT_EQ(logLines(QStringLiteral("insert.ax")),
              QStringList{QStringLiteral("focused-element-unavailable | pid=42")});
    EXPECT_EQ(logLines(QStringLiteral("insert.prepare")).value(0).left(15),
              QStringLiteral("source=captured"));
    EXPECT_EQ(resultLines(), QStringList{QStringLiteral(
                                 "result=pastedNeedsAttention | reason=no-effective-context")});
    EXPECT_EQ(keys->pasteCount(), 1);
    settle();
    EXPECT_EQ(pasteboard->string(), QStringLiteral("ld peace"));
    EXPECT_FALSE(watchStarted());
}

// Chromium cannot tell some selections beside emoji: its editor says it
// holds one and gives no range. The paste replaces the user's selection
// all the same, and the editor's text afterwards, read around its caret,
// shows which stretch went, or its caret right after the text: that paste
// is checked, and the user's clipboard comes back. A paste that never
// showed is not taken for one.
TEST_F(FocusedInputInsertionServiceTest, APasteOverASelectionTheEditorCannotPlaceIsChecked) {
    const QString before = QStringLiteral("家人👨‍👩‍👧‍👦到了。");
    const auto editor = FakeAccessibilityElement::create(QStringLiteral("editor"));
    const auto untold = [&] {
        editor->set(ax::value, before)
            .set(ax::caret, AccessibilityRange{15, 0})
            .set(ax::selectionCount, AccessibilityRange{0, 1})
            .remove(ax::selectedTextRange);
    };
    untold();
    editor->set(ax::roleDescription, QStringLiteral("section")).setSettable(ax::value, false);
    app->set(ax::focusedUIElement, AccessibilityElementRef(editor));
    const auto pasted = [&](const QString &value, qint64 caret) {
        keys->onPaste = [editor, value, caret] {
            editor->set(ax::value, value)
                .set(ax::selectedTextRange, AccessibilityRange{caret, 0})
                .remove(ax::selectionCount);
            return true;
        };
    };

    pasted(QStringLiteral("家人👨‍👩‍👧‍👦今天。"), 15);
    EXPECT_EQ(insert(QStringLiteral("今天")), InsertionResult::pastedFromClipboard);
    EXPECT_EQ(resultLines(),
              QStringList{QStringLiteral("result=pastedFromClipboard | path=verified")});
    ASSERT_TRUE(waitUntil([this] { return pasteboard->string() == QStringLiteral("old"); },
                          "the clipboard to come back"));
    EXPECT_TRUE(watchStarted());

    // Where the caret now stands right after the text, the paste is seen
    // there, whatever it replaced.
    untold();
    pasted(QStringLiteral("今天家人👨‍👩‍👧‍👦到了。"), 2);
    EXPECT_EQ(insert(QStringLiteral("今天")), InsertionResult::pastedFromClipboard);
    untold();
    keys->onPaste = [] { return true; };
    EXPECT_EQ(insert(QStringLiteral("明天")), InsertionResult::pastedNeedsAttention);
    EXPECT_EQ(
        resultLines().mid(1),
        (QStringList{QStringLiteral("result=pastedFromClipboard | path=verified"),
                     QStringLiteral("result=pastedNeedsAttention | reason=no-effective-context")}));
    settle();
    EXPECT_EQ(pasteboard->string(), QStringLiteral("明天"));
}

// A selection from right after an emoji into the next paragraph: the
// paste takes the caret's paragraph with it, so the editor as read before
// keeps showing that paragraph's old text. Read afresh, the caret stands
// right after the dictated text.
TEST_F(FocusedInputInsertionServiceTest, APasteAcrossParagraphsIsSeenAtTheCaretReadAfresh) {
    const auto paragraph = FakeAccessibilityElement::create(QStringLiteral("paragraph"));
    paragraph->set(ax::value, QStringLiteral("abc"))
        .set(ax::caret, AccessibilityRange{1, 0})
        .set(ax::selectionCount, AccessibilityRange{0, 1})
        .set(ax::roleDescription, QStringLiteral("section"))
        .setSettable(ax::value, false);
    app->set(ax::focusedUIElement, AccessibilityElementRef(paragraph));
    const auto joined = FakeAccessibilityElement::create(QStringLiteral("joined"));
    joined->set(ax::value, QStringLiteral("😀今天bc"))
        .set(ax::selectedTextRange, AccessibilityRange{4, 0})
        .set(ax::roleDescription, QStringLiteral("section"))
        .setSettable(ax::value, false);
    keys->onPaste = [this, joined] {
        app->set(ax::focusedUIElement, AccessibilityElementRef(joined));
        return true;
    };
    EXPECT_EQ(insert(QStringLiteral("今天")), InsertionResult::pastedFromClipboard);
    EXPECT_EQ(resultLines(),
              QStringList{QStringLiteral("result=pastedFromClipboard | path=verified")});
    EXPECT_EQ(logLines(QStringLiteral("insert.verify")),
              QStringList{QStringLiteral("paste-verified | expected=😀今天bc")});
    ASSERT_TRUE(waitUntil([this] { return pasteboard->string() == QStringLiteral("old"); },
                          "the clipboard to come back"));

    // Read afresh with anything else before the caret, it is no paste seen.
    pasteboard->copyFromElsewhere(QStringLiteral("old"));
    app->set(ax::focusedUIElement, AccessibilityElementRef(paragraph));
    joined->set(ax::value, QStringLiteral("😀明bc"))
        .set(ax::selectedTextRange, AccessibilityRange{3, 0});
    EXPECT_EQ(insert(QStringLiteral("今天")), InsertionResult::pastedNeedsAttention);
}

TEST_F(FocusedInputInsertionServiceTest, FieldFoundOnALaterAttemptIsLogged) {
    app->remove(ax::focusedUIElement);
    time->onSleep = [this](double seconds) {
        if (seconds == Service::liveContextRetryDelay && time->count(seconds) == 2)
            app->set(ax::focusedUIElement, AccessibilityElementRef(field));
    };
    EXPECT_EQ(insert(QStringLiteral("你好")), InsertionResult::pastedFromClipboard);
    EXPECT_EQ(logLines(QStringLiteral("insert.live-context")),
              QStringList{QStringLiteral("resolved | pid=42 | attempt=3")});
}

// A busy browser tells nothing of the editor the capture read a moment
// before: it is looked for a while longer, never without end, and the
// paste is checked there.
TEST_F(FocusedInputInsertionServiceTest, TheEditorTheCaptureReadIsLookedForLonger) {
    app->remove(ax::focusedUIElement);
    time->onSleep = [this](double seconds) {
        if (seconds == Service::liveContextRetryDelay &&
            time->count(seconds) == Service::liveContextAttempts + 5)
            app->set(ax::focusedUIElement, AccessibilityElementRef(field));
    };
    ActiveInteractionContext captured = context();
    captured.naturalFormattingContext.surroundingTextBeforeCursor = QStringLiteral("abc");
    EXPECT_EQ(insert(QStringLiteral("你好"), captured), InsertionResult::pastedFromClipboard);
    EXPECT_EQ(resultLines(),
              QStringList{QStringLiteral("result=pastedFromClipboard | path=verified")});
    EXPECT_EQ(logLines(QStringLiteral("insert.live-context")),
              QStringList{QStringLiteral("resolved | pid=42 | attempt=10")});

    // Not found within the deadline: the paste goes out unchecked.
    app->remove(ax::focusedUIElement);
    time->onSleep = nullptr;
    const double before = time->now;
    const int pauses = time->count(Service::liveContextRetryDelay);
    EXPECT_EQ(insert(QStringLiteral("再见"), captured), InsertionResult::pastedNeedsAttention);
    EXPECT_LT(time->now - before, Service::liveContextDeadline + 1.0);
    EXPECT_GT(time->count(Service::liveContextRetryDelay) - pauses,
              Service::liveContextAttempts * 2);
}

TEST_F(FocusedInputInsertionServiceTest, PasteThatLandedDifferentlyIsRedoneDirectly) {
    keys->onPaste = [this] {
        field->paste(pasteboard->string().value_or(QString()) + QStringLiteral("!"));
        return true;
    };
    EXPECT_EQ(insert(QStringLiteral("你好")), InsertionResult::insertedDirectly);
    EXPECT_EQ(field->value(), QStringLiteral("abc你好"));
    EXPECT_EQ(
        logLines(QStringLiteral("insert.observe")),
        QStringList{QStringLiteral("post-paste changed | current=abc你好! | expected=abc你好")});
    EXPECT_EQ(pathLines(),
              QStringList{QStringLiteral("directInsert-after-unexpected-paste-content")});
    ASSERT_TRUE(waitUntil([this] { return pasteboard->string() == QStringLiteral("old"); },
                          "the clipboard to come back"));
    EXPECT_EQ(time->count(Service::pasteboardRestoreDelay), 0);
    EXPECT_EQ(watchedValue(), QStringLiteral("abc你好"));
}

TEST_F(FocusedInputInsertionServiceTest, ExpectedTextWithTheCaretElsewhereCountsAsPasted) {
    // The change shows only at the third read after the paste.
    keys->onPaste = [] { return true; };
    time->onSleep = [this](double seconds) {
        if (seconds == Service::postPasteReadInterval && time->count(seconds) == 2)
            field->set(QStringLiteral("abc你好"), {0, 0});
    };
    EXPECT_EQ(insert(QStringLiteral("你好")), InsertionResult::pastedFromClipboard);
    EXPECT_EQ(time->count(Service::postPasteReadInterval), 2);
    EXPECT_EQ(resultLines(),
              QStringList{QStringLiteral("result=pastedFromClipboard | path=changed")});
    EXPECT_EQ(field->valueWrites(), 0);
    ASSERT_TRUE(waitUntil([this] { return pasteboard->string() == QStringLiteral("old"); },
                          "the clipboard to come back"));
    EXPECT_EQ(time->count(Service::pasteboardRestoreDelay), 1);
    EXPECT_EQ(watchedValue(), QStringLiteral("abc你好"));
}

TEST_F(FocusedInputInsertionServiceTest, FieldUnreadableAfterThePasteNeedsAttention) {
    keys->onPaste = [this] {
        field->paste(pasteboard->string().value_or(QString()));
        field->setReadable(false);
        return true;
    };
    EXPECT_EQ(insert(QStringLiteral("你好")), InsertionResult::pastedNeedsAttention);
    EXPECT_EQ(time->count(Service::postPasteReadInterval), 3);
    EXPECT_EQ(logLines(QStringLiteral("insert.observe")),
              QStringList{QStringLiteral("post-paste unreadable")});
    EXPECT_EQ(resultLines(),
              QStringList{QStringLiteral("result=pastedNeedsAttention | path=unreadable")});
    ASSERT_TRUE(waitUntil([this] { return pasteboard->string() == QStringLiteral("old"); },
                          "the clipboard to come back"));
    EXPECT_TRUE(watchStarted());
}

TEST_F(FocusedInputInsertionServiceTest, PasteThatChangedNothingIsWrittenDirectly) {
    keys->onPaste = [] { return true; };
    EXPECT_EQ(insert(QStringLiteral("你好")), InsertionResult::insertedDirectly);
    EXPECT_EQ(time->count(Service::postPasteReadInterval), 3);
    EXPECT_EQ(field->value(), QStringLiteral("abc你好"));
    EXPECT_EQ(logLines(QStringLiteral("insert.observe")),
              QStringList{QStringLiteral("post-paste unchanged")});
    EXPECT_EQ(pathLines(), QStringList{QStringLiteral("directInsert-after-unchanged-paste")});
    EXPECT_EQ(resultLines(), QStringList{QStringLiteral(
                                 "result=insertedDirectly | path=direct-after-unchanged-paste")});
    ASSERT_TRUE(waitUntil([this] { return pasteboard->string() == QStringLiteral("old"); },
                          "the clipboard to come back"));
    EXPECT_EQ(watchedValue(), QStringLiteral("abc你好"));
}

// The accessibility bus acknowledges a write of the whole text for every
// field of some toolkits, read-only ones included: only what the field
// holds afterwards tells whether the text arrived.
TEST_F(FocusedInputInsertionServiceTest, AWriteTheFieldIgnoredLeavesTheTextOnTheClipboard) {
    keys->onPaste = [] { return true; };
    field->ignoreValueWrites(true);
    EXPECT_EQ(insert(QStringLiteral("你好")), InsertionResult::insertFailedCopiedToClipboard);
    EXPECT_EQ(field->valueWriteAttempts(), 1);
    EXPECT_EQ(field->value(), QStringLiteral("abc"));
    EXPECT_TRUE(pathLines().isEmpty());
    EXPECT_EQ(resultLines(), QStringList{QStringLiteral(
                                 "result=insertFailedCopiedToClipboard | reason=exhausted")});
    EXPECT_EQ(logLines(QStringLiteral("insert.direct")),
              QStringList{QStringLiteral("unconfirmed | current=abc | expected=abc你好")});
    // Four reads after the paste, then four after the write.
    const double read = Service::directWriteReadInterval;
    EXPECT_EQ(time->sleeps.mid(0, 8),
              (QList<double>{0.06, 0.16, 0.12, 0.12, 0.12, read, read, read}));
    settle();
    EXPECT_EQ(pasteboard->string(), QStringLiteral("你好"));
    EXPECT_FALSE(watchStarted());
}

TEST_F(FocusedInputInsertionServiceTest, AnIgnoredReTakingWriteGoesOnToThePaste) {
    field->set(QStringLiteral("See you at noon tomorrow"), {8, 0});
    field->ignoreValueWrites(true);
    EXPECT_EQ(insert(QStringLiteral("later tomorrow")), InsertionResult::pastedFromClipboard);
    EXPECT_EQ(pastes, QStringList{QStringLiteral("later")});
    EXPECT_EQ(field->value(), QStringLiteral("See you later tomorrow"));
    EXPECT_TRUE(pathLines().isEmpty());
}

TEST_F(FocusedInputInsertionServiceTest, AReadOnlyFieldIsNeitherWrittenNorCountedAsFilled) {
    // Ctrl+V does nothing in it either.
    keys->onPaste = [] { return true; };
    field->setEditable(false);
    EXPECT_EQ(insert(QStringLiteral("你好")), InsertionResult::insertFailedCopiedToClipboard);
    EXPECT_EQ(message(InsertionResult::insertFailedCopiedToClipboard),
              QStringLiteral("插入失败，已复制到剪贴板"));
    EXPECT_EQ(field->valueWriteAttempts(), 0);
    EXPECT_EQ(logLines(QStringLiteral("insert.direct")),
              QStringList{QStringLiteral("not-editable")});
    settle();
    EXPECT_EQ(pasteboard->string(), QStringLiteral("你好"));
}

// A browser shows a paste over thousands of paragraphs of its rich-text
// editor a second or more after the keys, and the editor takes no write of
// its whole text: the paste is waited for that long, and the user's
// clipboard comes back, rather than a failure being reported over a paste
// that landed.
TEST_F(FocusedInputInsertionServiceTest, APasteShownLateWhereNoWriteCanStandInIsWaitedFor) {
    field->setEditable(false);
    keys->onPaste = [this] {
        pastes.append(pasteboard->string().value_or(QString()));
        return true;
    };
    auto reads = std::make_shared<int>(0);
    time->onSleep = [field = field, pastes = &pastes, reads](double seconds) {
        if (seconds == Service::postPasteReadInterval && ++*reads == 12)
            field->paste(pastes->last());
    };
    EXPECT_EQ(insert(QStringLiteral("你好")), InsertionResult::pastedFromClipboard);
    EXPECT_EQ(resultLines(),
              QStringList{QStringLiteral("result=pastedFromClipboard | path=verified")});
    EXPECT_TRUE(waitUntil([this] { return pasteboard->string() == QStringLiteral("old"); },
                          "the clipboard to come back"));
}

// The check right after the paste comes too soon, and the read after it
// finds the paste whole: a paste checked, not an unexplained change.
TEST_F(FocusedInputInsertionServiceTest, APasteShownJustAfterTheCheckIsVerified) {
    field->setEditable(false);
    keys->onPaste = [this] {
        field->pasteShownAfterReads(pasteboard->string().value_or(QString()), 1);
        return true;
    };
    EXPECT_EQ(insert(QStringLiteral("你好")), InsertionResult::pastedFromClipboard);
    EXPECT_EQ(field->value(), QStringLiteral("abc你好"));
    EXPECT_EQ(resultLines(),
              QStringList{QStringLiteral("result=pastedFromClipboard | path=verified")});
    EXPECT_EQ(watchedValue(), QStringLiteral("abc你好"));

    // Chromium, busy, read with its caret after the <br> the editor ends
    // in, which it drops once the paste follows it.
    field->set(QStringLiteral("你好\n明天见\n\n"), {8, 0});
    keys->onPaste = [this] {
        field->passThrough(QStringLiteral("你好\n明天见\n\n"), QStringLiteral("你好\n明天见\n今天"),
                           {9, 0}, 2);
        return true;
    };
    EXPECT_EQ(insert(QStringLiteral("今天")), InsertionResult::pastedFromClipboard);
    EXPECT_EQ(resultLines().value(1), QStringLiteral("result=pastedFromClipboard | path=verified"));
}

// Chromium takes out a selection over a long list first, and puts the text
// in and joins the paragraphs on either side a moment later: the paste is
// read until it shows, not reported as whatever the page held at the check.
TEST_F(FocusedInputInsertionServiceTest, APasteReadPartWayIsReadUntilItShows) {
    field->set(QStringLiteral("前文。\n• 一\n• 二\n后文。"), {2, 11});
    field->setEditable(false);
    keys->onPaste = [this] {
        field->passThrough(QStringLiteral("前文。\n后文。"), QStringLiteral("前文你好文。"), {4, 0},
                           4);
        return true;
    };
    EXPECT_EQ(insert(QStringLiteral("你好")), InsertionResult::pastedFromClipboard);
    EXPECT_EQ(resultLines(),
              QStringList{QStringLiteral("result=pastedFromClipboard | path=verified")});
    EXPECT_EQ(watchedValue(), QStringLiteral("前文你好文。"));

    // Reshaped by the page for good: a change, once it holds still.
    field->set(QStringLiteral("前文。\n• 一\n• 二\n后文。"), {2, 11});
    keys->onPaste = [this] {
        field->set(QStringLiteral("前文你好\n文。"), {4, 0});
        return true;
    };
    EXPECT_EQ(insert(QStringLiteral("你好")), InsertionResult::pastedFromClipboard);
    EXPECT_EQ(resultLines().value(1), QStringLiteral("result=pastedFromClipboard | path=changed"));
}

TEST_F(FocusedInputInsertionServiceTest, AWriteTheFieldShowsLateIsConfirmedByALaterRead) {
    field->set(QStringLiteral("See you at noon tomorrow"), {8, 0});
    field->showValueWritesAfterReads(2);
    EXPECT_EQ(insert(QStringLiteral("later tomorrow")), InsertionResult::insertedDirectly);
    EXPECT_EQ(time->count(Service::directWriteReadInterval), 2);
    EXPECT_EQ(field->value(), QStringLiteral("See you later tomorrow"));
    // The caret goes after the text once the field shows it.
    EXPECT_EQ(field->selection(), (AccessibilityRange{13, 0}));
    EXPECT_EQ(pathLines(), QStringList{QStringLiteral("directInsert-expanded-replacement")});
    EXPECT_EQ(keys->pasteCount(), 0);
}

TEST_F(FocusedInputInsertionServiceTest, FieldThatMovedWithoutChangingIsLeftAlone) {
    keys->onPaste = [this] {
        field->set(QStringLiteral("abc"), {0, 0});
        return true;
    };
    EXPECT_EQ(insert(QStringLiteral("你好")), InsertionResult::insertFailedCopiedToClipboard);
    EXPECT_EQ(resultLines(), QStringList{QStringLiteral(
                                 "result=insertFailedCopiedToClipboard | reason=exhausted")});
    EXPECT_EQ(field->valueWrites(), 0);
    settle();
    EXPECT_EQ(pasteboard->string(), QStringLiteral("你好"));
    EXPECT_FALSE(watchStarted());
}

TEST_F(FocusedInputInsertionServiceTest, InsertionsRunOneAtATime) {
    QList<InsertionResult> results;
    runTask(insertTwice(service.get(), context(), &results));
    EXPECT_EQ(results, (QList<InsertionResult>{InsertionResult::pastedFromClipboard,
                                               InsertionResult::pastedFromClipboard}));
    EXPECT_EQ(pastes, (QStringList{QStringLiteral("一"), QStringLiteral("二")}));
    EXPECT_EQ(field->value(), QStringLiteral("abc一二"));
}

// Ctrl+V sent through the X server reaches XWayland windows only.
class WaylandInsertionTest : public FocusedInputInsertionServiceTest {
protected:
    void SetUp() override {
        FocusedInputInsertionServiceTest::SetUp();
        makeService(DisplaySession{true});
    }
};

TEST_F(WaylandInsertionTest, ANativeWindowGetsTheTextByTheCheckedWriteAndNoKeys) {
    // The X server has no active window.
    EXPECT_EQ(insert(QStringLiteral("你好")), InsertionResult::insertedDirectly);
    EXPECT_EQ(field->value(), QStringLiteral("abc你好"));
    EXPECT_EQ(field->selection(), (AccessibilityRange{5, 0}));
    EXPECT_EQ(logLines(QStringLiteral("insert.paste")),
              QStringList{QStringLiteral(
                  "not-sent | reason=wayland-window | focusedPid=42 | xActivePid=<nil>")});
    EXPECT_EQ(pathLines(), QStringList{QStringLiteral("directInsert-wayland-window")});
    EXPECT_EQ(resultLines(),
              QStringList{QStringLiteral("result=insertedDirectly | path=direct-wayland-window")});
    EXPECT_EQ(watchedValue(), QStringLiteral("abc你好"));

    // Its active window belongs to another application.
    windows->setFrontmost(RunningApplication{7, QStringLiteral("Terminal"), std::nullopt});
    EXPECT_EQ(insert(QStringLiteral("再见")), InsertionResult::insertedDirectly);
    EXPECT_EQ(field->value(), QStringLiteral("✎再见"));
    EXPECT_EQ(keys->pasteCount(), 0);
    EXPECT_EQ(pasteboard->writeCount(), 0);
    EXPECT_EQ(pasteboard->string(), QStringLiteral("old"));
}

TEST_F(WaylandInsertionTest, ANativeWindowThatTakesNoWriteGetsTheClipboardNeverInserted) {
    field->ignoreValueWrites(true);
    const InsertionResult ignored = insert(QStringLiteral("你好"));
    EXPECT_EQ(ignored, InsertionResult::insertFailedCopiedToClipboard);
    EXPECT_NE(message(ignored), QStringLiteral("已插入"));
    EXPECT_EQ(resultLines(), QStringList{QStringLiteral("result=insertFailedCopiedToClipboard | "
                                                        "reason=wayland-window-no-paste")});
    settle();
    EXPECT_EQ(pasteboard->string(), QStringLiteral("你好"));
    EXPECT_FALSE(watchStarted());

    // A re-taken stretch whose write was ignored is not written twice.
    field->set(QStringLiteral("See you at noon tomorrow"), {8, 0});
    EXPECT_EQ(insert(QStringLiteral("later tomorrow")),
              InsertionResult::insertFailedCopiedToClipboard);
    EXPECT_EQ(field->valueWriteAttempts(), 2);
    settle();
    EXPECT_EQ(pasteboard->string(), QStringLiteral("later"));

    // No field found at all.
    app->remove(ax::focusedUIElement);
    EXPECT_EQ(insert(QStringLiteral("再见")), InsertionResult::insertFailedCopiedToClipboard);
    settle();
    EXPECT_EQ(pasteboard->string(), QStringLiteral("再见"));
    EXPECT_EQ(keys->pasteCount(), 0);
}

TEST_F(WaylandInsertionTest, AnXWaylandWindowIsPastedIntoAsOnX11) {
    windows->setFrontmost(RunningApplication{42, QStringLiteral("Notes"), std::nullopt});
    EXPECT_EQ(insert(QStringLiteral("你好")), InsertionResult::pastedFromClipboard);
    EXPECT_EQ(pastes, QStringList{QStringLiteral("你好")});
    EXPECT_TRUE(logLines(QStringLiteral("insert.paste")).isEmpty());

    // Without a field to tell the focused application, the X server's
    // word is taken.
    app->remove(ax::focusedUIElement);
    EXPECT_EQ(insert(QStringLiteral("再见"), std::nullopt), InsertionResult::pastedNeedsAttention);
    EXPECT_EQ(keys->pasteCount(), 2);
}

// Which window has the X server's focus is read while the field is looked
// for: both decide where the paste can go, and neither waits for the other.
TEST_F(WaylandInsertionTest, TheXServerIsAskedWhileTheFieldIsLookedFor) {
    std::promise<void> searchMayGoOn;
    const std::shared_future<void> held = searchMayGoOn.get_future().share();
    app->onRead([held](const QString &attribute) {
        if (attribute == ax::focusedUIElement)
            held.wait();
    });
    std::optional<InsertionResult> result;
    QCoro::Task<void> insertion = insertInto(service.get(), QStringLiteral("你好"), &result);
    const bool askedDuringTheSearch =
        waitUntil([this] { return windows->frontmostReads() == 1; }, "the X server to be asked");
    searchMayGoOn.set_value();
    runTask(std::move(insertion));
    EXPECT_TRUE(askedDuringTheSearch);
    EXPECT_EQ(windows->frontmostReads(), 1);
    EXPECT_EQ(result, InsertionResult::insertedDirectly);
    EXPECT_EQ(field->value(), QStringLiteral("abc你好"));
}

// Where the desktop lends its keyboard, a native window is pasted into as
// on X11, with Ctrl+V on that keyboard.
class DesktopKeyboardInsertionTest : public WaylandInsertionTest {
protected:
    void SetUp() override {
        WaylandInsertionTest::SetUp();
        desktopKeys->onPaste = [this] {
            pastes.append(pasteboard->string().value_or(QString()));
            field->paste(pastes.last());
            return true;
        };
        access = std::make_shared<RemoteDesktopKeyboardAccess>(
            store, desktopKeys, std::make_shared<InMemorySecretStore>(), answerLimit.sleeper());
        makeService(DisplaySession{true}, access);
    }

    void TearDown() override {
        WaylandInsertionTest::TearDown();
        access.reset();
    }

    void grant() {
        access->requestIfNeeded();
        ASSERT_TRUE(waitUntil(
            [this] { return access->state() == RemoteDesktopKeyboardAccess::State::granted; },
            "the desktop's keyboard"));
    }

    InMemoryDefaultsStore defaults;
    AppConfigurationStore store{defaults, AppConfigurationStore::Environment()};
    std::shared_ptr<RecordingRemoteDesktopKeyboard> desktopKeys =
        std::make_shared<RecordingRemoteDesktopKeyboard>();
    testing::ManualSleeper answerLimit;
    std::shared_ptr<RemoteDesktopKeyboardAccess> access;
};

TEST_F(DesktopKeyboardInsertionTest, ANativeWindowIsPastedIntoOnTheDesktopsKeyboard) {
    ASSERT_NO_FATAL_FAILURE(grant());
    EXPECT_EQ(insert(QStringLiteral("你好")), InsertionResult::pastedFromClipboard);
    EXPECT_EQ(field->value(), QStringLiteral("abc你好"));
    EXPECT_EQ(desktopKeys->pasteCount(), 1);
    EXPECT_EQ(keys->pasteCount(), 0) << "nothing through the X server";
    EXPECT_EQ(field->valueWriteAttempts(), 0);
    EXPECT_EQ(logLines(QStringLiteral("insert.paste")).last(),
              QStringLiteral("desktop-keyboard | asked-now=false"));
    EXPECT_EQ(resultLines(),
              QStringList{QStringLiteral("result=pastedFromClipboard | path=verified")});
    ASSERT_TRUE(waitUntil([this] { return pasteboard->string() == QStringLiteral("old"); },
                          "the clipboard to come back"));

    // Keys the desktop does not take: the checked write, as on X11.
    desktopKeys->onPaste = [] { return false; };
    EXPECT_EQ(insert(QStringLiteral("再见")), InsertionResult::insertedDirectly);
    EXPECT_EQ(field->value(), QStringLiteral("abc你好再见"));
    EXPECT_EQ(pathLines().last(), QStringLiteral("directInsert-after-paste-shortcut-failure"));
}

// A busy compositor hands the lent keyboard's Ctrl+V to the window after
// the reads that follow it: the paste is waited for, never written again
// on top of it.
TEST_F(DesktopKeyboardInsertionTest, APasteTheCompositorHandsOverLateIsWaitedFor) {
    ASSERT_NO_FATAL_FAILURE(grant());
    desktopKeys->onPaste = [this] {
        field->pasteShownAfterReads(pasteboard->string().value_or(QString()), 10);
        return true;
    };
    EXPECT_EQ(insert(QStringLiteral("你好")), InsertionResult::pastedFromClipboard);
    EXPECT_EQ(field->valueWriteAttempts(), 0);
    EXPECT_EQ(field->value(), QStringLiteral("abc你好"));
    EXPECT_EQ(resultLines(),
              QStringList{QStringLiteral("result=pastedFromClipboard | path=verified")});
}

TEST_F(DesktopKeyboardInsertionTest, AKeyboardAskedForDuringThePasteWaitsForTheFocusToComeBack) {
    // The desktop's window had the focus while it asked; the field has it
    // again once the user answered.
    desktopKeys->holdAnswers(true);
    std::optional<InsertionResult> result;
    QCoro::Task<void> insertion = insertInto(service.get(), QStringLiteral("你好"), &result);
    ASSERT_TRUE(waitUntil([this] { return desktopKeys->pendingOpenings() == 1; },
                          "the desktop to ask the user"));
    EXPECT_FALSE(result);
    accessibility->systemWide()->set(ax::focusedUIElement, AccessibilityElementRef(field));
    desktopKeys->releaseAnswers();
    runTask(std::move(insertion));
    EXPECT_EQ(result, InsertionResult::pastedFromClipboard);
    EXPECT_EQ(desktopKeys->pasteCount(), 1);
    EXPECT_EQ(logLines(QStringLiteral("insert.paste")).last(),
              QStringLiteral("desktop-keyboard | asked-now=true"));

    // Asked again after the desktop ended the session, the focus stays on
    // the desktop's window: no keys, and the checked write after a bounded
    // look for the focus.
    desktopKeys->closeFromDesktop();
    accessibility->systemWide()->set(
        ax::focusedUIElement,
        AccessibilityElementRef(FakeAccessibilityElement::create(QStringLiteral("portal"))));
    desktopKeys->holdAnswers(false);
    time->sleeps.clear();
    EXPECT_EQ(insert(QStringLiteral("再见")), InsertionResult::insertedDirectly);
    EXPECT_EQ(desktopKeys->pasteCount(), 1);
    EXPECT_EQ(desktopKeys->openings().size(), 2);
    EXPECT_EQ(time->count(DesktopKeyboardPaste::focusReturnInterval), 20)
        << "looked for over " << DesktopKeyboardPaste::focusReturnLimit << " s";
    EXPECT_EQ(logLines(QStringLiteral("insert.paste")).last(),
              QStringLiteral("desktop-keyboard not-sent | reason=focus-not-back"));
    EXPECT_EQ(pathLines().last(), QStringLiteral("directInsert-wayland-window"));

    // Turned down: the checked write, then the clipboard, and nothing asks.
    desktopKeys->answerWith(RemoteDesktopKeyboardError::Kind::refused);
    desktopKeys->closeFromDesktop();
    access->request();
    ASSERT_TRUE(
        waitUntil([this] { return access->state() == RemoteDesktopKeyboardAccess::State::refused; },
                  "the refusal"));
    field->ignoreValueWrites(true);
    EXPECT_EQ(insert(QStringLiteral("再见")), InsertionResult::insertFailedCopiedToClipboard);
    EXPECT_EQ(desktopKeys->openings().size(), 3);
    EXPECT_EQ(resultLines().last(), QStringLiteral("result=insertFailedCopiedToClipboard | "
                                                   "reason=wayland-window-no-paste"));
    settle();
    EXPECT_EQ(pasteboard->string(), QStringLiteral("再见"));
}

// GNOME takes the X server's clipboard into its session on its own, by
// reading it from us a moment after the write, later when it is busy. Keys
// that come first paste what the session held before, into a field a
// direct write cannot put right (a browser's text area).
TEST_F(DesktopKeyboardInsertionTest, TheKeysWaitUntilTheSessionHasTheClipboard) {
    ASSERT_NO_FATAL_FAILURE(grant());
    field->ignoreValueWrites(true);
    desktopKeys->onPaste = [this] {
        pastes.append(pasteboard->sessionString().value_or(QString()));
        field->paste(pastes.last());
        return true;
    };
    pasteboard->holdWritesFromSession(true);
    time->onSleep = [this](double seconds) {
        if (seconds == DesktopKeyboardPaste::sessionClipboardInterval && time->count(seconds) == 5)
            pasteboard->letSessionTakeClipboard();
    };
    EXPECT_EQ(insert(QStringLiteral("你好")), InsertionResult::pastedFromClipboard);
    EXPECT_EQ(pastes, QStringList{QStringLiteral("你好")});
    EXPECT_EQ(field->value(), QStringLiteral("abc你好"));

    // A session that never takes it, within a bound: no keys, which would
    // paste whatever the user copied before; the field takes no direct
    // write either, so the text stays on the clipboard, and nothing claims
    // it went in.
    time->onSleep = nullptr;
    time->sleeps.clear();
    EXPECT_EQ(insert(QStringLiteral("再见")), InsertionResult::insertFailedCopiedToClipboard);
    EXPECT_EQ(desktopKeys->pasteCount(), 1);
    EXPECT_EQ(field->value(), QStringLiteral("abc你好"));
    EXPECT_EQ(time->count(DesktopKeyboardPaste::sessionClipboardInterval),
              qRound(DesktopKeyboardPaste::sessionClipboardLimit /
                     DesktopKeyboardPaste::sessionClipboardInterval));
    EXPECT_EQ(logLines(QStringLiteral("insert.paste")).last(),
              QStringLiteral("desktop-keyboard not-sent | reason=clipboard-not-in-session | "
                             "waited=1s"));
    EXPECT_EQ(
        resultLines().last(),
        QStringLiteral("result=insertFailedCopiedToClipboard | reason=paste-shortcut-failed"));
    settle();
    EXPECT_EQ(pasteboard->string(), QStringLiteral("再见"));
    EXPECT_EQ(access->state(), RemoteDesktopKeyboardAccess::State::granted)
        << "the keyboard itself is fine";
}

// The text put on the clipboard ahead of its insertion stands in for the
// insertion's own snapshot and write while the clipboard still holds it;
// whichever way the text then goes in, the user's clipboard comes back.
TEST_F(DesktopKeyboardInsertionTest, AHeadStartIsTakenOverWhileTheClipboardStillHoldsIt) {
    const auto startAhead = [this](const QString &text) {
        return runTask(service->startClipboardHeadStart(text));
    };
    const auto insertAfter = [this](const QString &text,
                                    std::unique_ptr<ClipboardHeadStart> headStart) {
        return runTask(service->insert(text, context(), {}, std::move(headStart)));
    };
    const auto clipboardBackTo = [this](const QString &expected) {
        return waitUntil([&] { return pasteboard->string() == expected; },
                         "the user's clipboard to come back");
    };
    EXPECT_FALSE(startAhead(QStringLiteral("你好"))) << "nothing ahead until the keyboard is lent";
    EXPECT_EQ(pasteboard->writeCount(), 0);
    ASSERT_NO_FATAL_FAILURE(grant());

    std::unique_ptr<ClipboardHeadStart> ahead = startAhead(QStringLiteral("你好"));
    ASSERT_TRUE(ahead);
    EXPECT_EQ(pasteboard->string(), QStringLiteral("你好"));
    EXPECT_EQ(insertAfter(QStringLiteral("你好"), std::move(ahead)),
              InsertionResult::pastedFromClipboard);
    EXPECT_EQ(pastes, QStringList{QStringLiteral("你好")});
    EXPECT_TRUE(clipboardBackTo(QStringLiteral("old")));
    EXPECT_EQ(pasteboard->writeCount(), 2) << "the text once, then the user's clipboard";

    // The field already ends with the dictation's first words.
    field->set(QStringLiteral("Meet at the "), {12, 0});
    ahead = startAhead(QStringLiteral("at the station"));
    EXPECT_EQ(insertAfter(QStringLiteral("at the station"), std::move(ahead)),
              InsertionResult::pastedFromClipboard);
    EXPECT_EQ(pastes.last(), QStringLiteral("station"));
    EXPECT_TRUE(clipboardBackTo(QStringLiteral("old")));

    // Somebody copied in between: theirs is what comes back.
    ahead = startAhead(QStringLiteral("再见"));
    pasteboard->copyFromElsewhere(QStringLiteral("theirs"));
    EXPECT_EQ(insertAfter(QStringLiteral("再见"), std::move(ahead)),
              InsertionResult::pastedFromClipboard);
    EXPECT_EQ(pastes.last(), QStringLiteral("再见"));
    EXPECT_TRUE(clipboardBackTo(QStringLiteral("theirs")));

    // Written directly, with no paste.
    field->set(QStringLiteral("See you at noon tomorrow"), {8, 0});
    ahead = startAhead(QStringLiteral("later tomorrow"));
    EXPECT_EQ(insertAfter(QStringLiteral("later tomorrow"), std::move(ahead)),
              InsertionResult::insertedDirectly);
    EXPECT_EQ(pasteboard->string(), QStringLiteral("theirs"));
    EXPECT_EQ(pastes.size(), 3);
}

// Where the desktop shows who reads our clipboard, the user's clipboard
// comes back once the program the keys went to has read the dictation,
// never before, whatever could be seen of the field; a paste that program
// never took is no paste.
class PasteTakenTest : public FocusedInputInsertionServiceTest {
protected:
    void SetUp() override {
        FocusedInputInsertionServiceTest::SetUp();
        pasteboard->setSeesReads(true);
        keys->onPaste = [this] {
            keysAt = time->now;
            pasteNow();
            return true;
        };
    }

    // The editor handles Ctrl+V: it reads the clipboard and pastes that.
    void pasteNow() {
        pastes.append(pasteboard->readBy(42).value_or(QString()));
        field->paste(pastes.last());
    }

    // The editor handles the keys `seconds` after they went out, as a busy
    // one does; meanwhile its field cannot be read.
    void handleKeysLate(double seconds) {
        keys->onPaste = [this] {
            keysAt = time->now;
            field->setReadable(false);
            return true;
        };
        time->onSleep = [this, seconds](double) {
            if (keysAt && !handled && time->now - *keysAt >= seconds) {
                handled = true;
                pasteNow();
            }
        };
    }

    std::optional<double> keysAt;
    bool handled = false;
};

TEST_F(PasteTakenTest, TheClipboardComesBackOnlyOnceTheBusyEditorHasPasted) {
    handleKeysLate(2.0);
    EXPECT_EQ(insert(QStringLiteral("你好")), InsertionResult::pastedNeedsAttention);
    EXPECT_EQ(resultLines(),
              QStringList{QStringLiteral("result=pastedNeedsAttention | path=unreadable")});
    ASSERT_TRUE(waitUntil([this] { return pasteboard->string() == QStringLiteral("old"); },
                          "the clipboard to come back"));
    // The editor gets to the keys in the end, whatever the insertion did.
    if (!handled)
        pasteNow();
    EXPECT_EQ(pastes, QStringList{QStringLiteral("你好")}) << "never the user's old clipboard";
    EXPECT_EQ(field->value(), QStringLiteral("abc你好"));
    EXPECT_NE(message(InsertionResult::pastedNeedsAttention), QStringLiteral("已插入"))
        << "nothing was seen of where it landed";
}

TEST_F(PasteTakenTest, APasteOnlyAClipboardManagerReadIsNoPaste) {
    app->remove(ax::focusedUIElement);
    // A clipboard manager copies every new clipboard; the editor never
    // handles the keys.
    time->onSleep = [this](double seconds) {
        if (seconds == Service::pasteKeyDelay)
            pasteboard->readBy(77);
    };
    keys->onPaste = [this] {
        pasteboard->readBy(77);
        return true;
    };
    EXPECT_EQ(insert(QStringLiteral("你好")), InsertionResult::insertFailedCopiedToClipboard);
    EXPECT_EQ(resultLines(), QStringList{QStringLiteral(
                                 "result=insertFailedCopiedToClipboard | reason=paste-not-taken")});
    settle();
    EXPECT_EQ(pasteboard->string(), QStringLiteral("你好")) << "left for the user to paste";

    // The same unchecked paste, taken by the editor: the user's clipboard
    // comes back.
    pasteboard->copyFromElsewhere(QStringLiteral("old"));
    keys->onPaste = [this] {
        pasteboard->readBy(77);
        pasteboard->readBy(42);
        return true;
    };
    EXPECT_EQ(insert(QStringLiteral("再见")), InsertionResult::pastedNeedsAttention);
    EXPECT_EQ(resultLines().last(),
              QStringLiteral("result=pastedNeedsAttention | reason=no-effective-context"));
    ASSERT_TRUE(waitUntil([this] { return pasteboard->string() == QStringLiteral("old"); },
                          "the clipboard to come back"));
}

// A small comment box whose first input moves its text into a bigger
// editor, which then takes the focus: the box reads as before, and the
// paste is in the editor.
TEST_F(PasteTakenTest, APasteThePageMovedToTheEditorItFocusedIsFoundThere) {
    const auto editor = FakeAccessibilityElement::create(QStringLiteral("editor"));
    editor->set(ax::roleDescription, QStringLiteral("text"));
    editor->setProcessIdentifier(42);
    keys->onPaste = [this, editor] {
        const QString text = pasteboard->readBy(42).value_or(QString());
        editor->set(ax::value, text).set(ax::selectedTextRange, AccessibilityRange{text.size(), 0});
        app->set(ax::focusedUIElement, AccessibilityElementRef(editor));
        return true;
    };
    EXPECT_EQ(insert(QStringLiteral("你好")), InsertionResult::pastedFromClipboard);
    EXPECT_EQ(resultLines(),
              QStringList{QStringLiteral("result=pastedFromClipboard | path=focus-moved")});
    EXPECT_EQ(field->valueWriteAttempts(), 0) << "nothing written into the box that was left";
    EXPECT_EQ(field->value(), QStringLiteral("abc"));
    ASSERT_TRUE(waitUntil([this] { return pasteboard->string() == QStringLiteral("old"); },
                          "the clipboard to come back"));
}

} // namespace
} // namespace tovalit
