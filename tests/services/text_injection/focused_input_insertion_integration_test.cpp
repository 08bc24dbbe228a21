#include "platform/accessibility_thread.h"
#include "platform/fake/fake_window_system.h"
#include "platform/linux/atspi_accessibility_client.h"
#include "platform/linux/qt_clipboard_pasteboard.h"
#include "platform/linux/xtest_key_sender.h"
#include "services/text_injection/focused_input_insertion_service.h"
#include "tests/support/capture_log.h"
#include "tests/support/desktop_program.h"
#include "tests/support/process_hold.h"
#include "tests/support/qt_printers.h"
#include "tests/support/run_task.h"
#include "tests/support/test_editor_process.h"
#include "tests/support/test_session.h"
#include "tests/support/x_clipboard_client.h"

#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>

#include <gtest/gtest.h>
#include <iostream>
#include <mutex>

namespace tovalit {
namespace {

using testing::runTask;
using testing::TestEditorProcess;
using testing::waitUntil;
using testing::XClipboardClient;
using Service = FocusedInputInsertionService;

// Counts the waits of the clipboard's delayed restore, which only a
// desktop that does not show who reads the clipboard needs.
struct RestoreDelays {
    int count = 0;
};

QCoro::Task<void> countedSleep(std::shared_ptr<RestoreDelays> delays, double seconds,
                               CancelToken token) {
    if (seconds == Service::pasteboardRestoreDelay)
        ++delays->count;
    co_await sleepFor(seconds, token);
}

struct EventLog {
    std::mutex mutex;
    std::vector<ObservedInsertionEditEvent> events;

    ObservedInsertionEditCallback callback() {
        return [this](const ObservedInsertionEditEvent &event) {
            std::lock_guard lock(mutex);
            events.push_back(event);
        };
    }
    std::vector<ObservedInsertionEditEvent> snapshot() {
        std::lock_guard lock(mutex);
        return events;
    }
};

class InsertionDesktopTest : public testing::WithDiagnosticsLog {
protected:
    void SetUp() override {
        TOVALIT_REQUIRE_DISPLAY();
        ASSERT_TRUE(testing::setDesktopAccessibilityEnabled(true));
        service = std::make_unique<Service>(client, pasteboard, XTestKeySender::open(),
                                            [delays = delays](double seconds, CancelToken token) {
                                                return countedSleep(delays, seconds, token);
                                            });
    }

    void TearDown() override {
        testing::setDesktopAccessibilityEnabled(true);
        service.reset();
    }

    static ActiveInteractionContext contextOf(const TestEditorProcess &editor) {
        ActiveInteractionContext context;
        context.appName = QStringLiteral("Test editor");
        context.bundleID = QStringLiteral("test-editor");
        context.processIdentifier = editor.processIdentifier();
        context.naturalFormattingContext.windowTitle = QStringLiteral("Insertion");
        return context;
    }

    using Field = testing::FocusedFieldReader::Field;
    Field readField(qint32 pid) { return fields.read(pid); }

    // The user edits the field (through accessibility, as an input method
    // would).
    bool typeIntoField(qint32 pid, const QString &value) {
        return runTask(thread->run([client = client, pid, value] {
            auto focused = accessibilityValueAs<AccessibilityElementRef>(
                client->applicationElement(pid)->attributeValue(ax::focusedUIElement));
            return focused && *focused && (*focused)->setAttributeValue(ax::value, value);
        }));
    }

    std::shared_ptr<AccessibilityThread> thread = std::make_shared<AccessibilityThread>();
    std::shared_ptr<AtspiAccessibilityClient> client =
        std::make_shared<AtspiAccessibilityClient>(thread);
    testing::FocusedFieldReader fields{client};
    std::shared_ptr<QtClipboardPasteboard> pasteboard = std::make_shared<QtClipboardPasteboard>();
    std::shared_ptr<RestoreDelays> delays = std::make_shared<RestoreDelays>();
    std::unique_ptr<Service> service;
};

class InsertionIntoEditorTest : public InsertionDesktopTest,
                                public ::testing::WithParamInterface<TestEditorProcess::Toolkit> {};

TEST_P(InsertionIntoEditorTest, PasteIsVerifiedAndTheUsersClipboardComesBack) {
    auto editor =
        TestEditorProcess::start(GetParam(), QStringLiteral("Insertion"), QStringLiteral("abc"), 3);
    ASSERT_TRUE(editor);
    auto owner = XClipboardClient::copy(QStringLiteral("old"));
    ASSERT_TRUE(owner);

    QElapsedTimer timer;
    timer.start();
    const InsertionResult result =
        runTask(service->insert(QStringLiteral("你好"), contextOf(*editor), {}));
    const qint64 elapsed = timer.elapsed();
    std::cout << "[ timing ] insert to verified paste: " << elapsed << " ms\n";
    RecordProperty("insert_to_verified_paste_ms", int(elapsed));

    EXPECT_EQ(result, InsertionResult::pastedFromClipboard);
    EXPECT_EQ(message(result), QStringLiteral("已插入"));
    EXPECT_EQ(logLines(QStringLiteral("insert.result")),
              QStringList{QStringLiteral("result=pastedFromClipboard | path=verified")});
    const Field field = readField(editor->processIdentifier());
    EXPECT_EQ(field.value, QStringLiteral("abc你好"));
    EXPECT_EQ(field.selection, (AccessibilityRange{5, 0}));

    // The editor took the dictation as it pasted: the user's clipboard comes
    // back then, served by us now, and no timer of its own held it.
    ASSERT_TRUE(waitUntil([] { return QGuiApplication::clipboard()->text() == "old"; },
                          "the clipboard to hold the user's text again"));
    EXPECT_EQ(delays->count, 0);
    EXPECT_EQ(XClipboardClient::paste(), QStringLiteral("old"));
}

// A busy editor gets to Ctrl+V late, and pastes whatever the clipboard
// holds then: the user's clipboard comes back only once it has taken the
// dictation, and the dictation is not written in a second time meanwhile.
TEST_P(InsertionIntoEditorTest, AnEditorThatPastesLateGetsTheDictationAndTheTruth) {
    auto editor =
        TestEditorProcess::start(GetParam(), QStringLiteral("Insertion"), QStringLiteral("abc"), 3);
    ASSERT_TRUE(editor);
    auto owner = XClipboardClient::copy(QStringLiteral("old"));
    ASSERT_TRUE(owner);
    testing::ProcessHold hold(editor->processIdentifier(), 2000);

    const InsertionResult result =
        runTask(service->insert(QStringLiteral("你好"), contextOf(*editor), {}));
    EXPECT_TRUE(hold.held());
    EXPECT_TRUE(result == InsertionResult::pastedFromClipboard ||
                result == InsertionResult::pastedNeedsAttention)
        << rawValue(result).toStdString() << "\n"
        << logLines().join(u'\n').toStdString();
    EXPECT_TRUE(waitUntil(
        [&] { return readField(editor->processIdentifier()).value == QStringLiteral("abc你好"); },
        "the editor to show the dictation once"))
        << readField(editor->processIdentifier()).value.value_or(QString()).toStdString();
    EXPECT_TRUE(waitUntil([] { return XClipboardClient::paste() == QStringLiteral("old"); },
                          "the user's clipboard to come back"));
}

TEST_P(InsertionIntoEditorTest, CopyByAnotherApplicationAfterThePasteIsKept) {
    auto editor =
        TestEditorProcess::start(GetParam(), QStringLiteral("Insertion"), QStringLiteral("abc"), 3);
    ASSERT_TRUE(editor);
    auto owner = XClipboardClient::copy(QStringLiteral("old"));
    ASSERT_TRUE(owner);

    EXPECT_EQ(runTask(service->insert(QStringLiteral("你好"), contextOf(*editor), {})),
              InsertionResult::pastedFromClipboard);
    auto copier = XClipboardClient::copy(QStringLiteral("new"));
    ASSERT_TRUE(copier);
    testing::processEventsFor(std::chrono::milliseconds(200));
    EXPECT_EQ(XClipboardClient::paste(), QStringLiteral("new"));
    EXPECT_FALSE(QGuiApplication::clipboard()->ownsClipboard());
}

TEST_P(InsertionIntoEditorTest, ReTakenWordsAreWrittenDirectlyWithoutTouchingTheClipboard) {
    auto editor = TestEditorProcess::start(GetParam(), QStringLiteral("Insertion"),
                                           QStringLiteral("See you at noon tomorrow"), 8);
    ASSERT_TRUE(editor);
    const qint64 beforeCopy = pasteboard->changeCount();
    auto owner = XClipboardClient::copy(QStringLiteral("old"));
    ASSERT_TRUE(owner);
    // The notice of the other client's copy arrives asynchronously; count
    // from after it, so only a write of ours could change the count.
    ASSERT_TRUE(waitUntil([&] { return pasteboard->changeCount() != beforeCopy; },
                          "our clipboard noticing the other client's copy"));
    const qint64 changeCount = pasteboard->changeCount();

    EXPECT_EQ(runTask(service->insert(QStringLiteral("later tomorrow"), contextOf(*editor), {})),
              InsertionResult::insertedDirectly);
    EXPECT_EQ(logLines(QStringLiteral("insert.path")),
              QStringList{QStringLiteral("directInsert-expanded-replacement")});
    const Field field = readField(editor->processIdentifier());
    EXPECT_EQ(field.value, QStringLiteral("See you later tomorrow"));
    EXPECT_EQ(field.selection, (AccessibilityRange{13, 0}));
    EXPECT_EQ(pasteboard->changeCount(), changeCount);
    EXPECT_EQ(XClipboardClient::paste(), QStringLiteral("old"));
}

TEST_P(InsertionIntoEditorTest, CorrectionIsReportedOnceItRestsAndItsUndoAsARevert) {
    auto editor =
        TestEditorProcess::start(GetParam(), QStringLiteral("Insertion"), QStringLiteral("abc"), 3);
    ASSERT_TRUE(editor);
    EventLog log;
    ASSERT_EQ(runTask(service->insert(QStringLiteral("你好"), contextOf(*editor), log.callback())),
              InsertionResult::pastedFromClipboard);

    ASSERT_TRUE(typeIntoField(editor->processIdentifier(), QStringLiteral("abc您好")));
    ASSERT_TRUE(waitUntil([&] { return !log.snapshot().empty(); }, "the edit to be reported",
                          std::chrono::seconds(10)));
    const auto reported = log.snapshot();
    ASSERT_EQ(reported.size(), 1u);
    ASSERT_EQ(reported[0].kind(), ObservedInsertionEditEvent::Kind::stableEdited);
    const ObservedInsertionEditSession edit = *reported[0].session();
    EXPECT_EQ(edit.originalInsertedText, QStringLiteral("你好"));
    EXPECT_EQ(edit.originalFieldText, QStringLiteral("abc你好"));
    EXPECT_EQ(edit.finalFieldText, QStringLiteral("abc您好"));
    EXPECT_EQ(edit.appName, QStringLiteral("Test editor"));
    EXPECT_EQ(edit.windowTitle, QStringLiteral("Insertion"));

    ASSERT_TRUE(typeIntoField(editor->processIdentifier(), QStringLiteral("abc你好")));
    ASSERT_TRUE(waitUntil([&] { return log.snapshot().size() == 2; }, "the undo to be reported",
                          std::chrono::seconds(5)));
    const ObservedInsertionEditEvent revert = log.snapshot()[1];
    EXPECT_EQ(revert, ObservedInsertionEditEvent::revertedToOriginal(edit.sessionID));
}

TEST_P(InsertionIntoEditorTest, ModifiersStillHeldDoNotSpoilThePaste) {
    auto editor =
        TestEditorProcess::start(GetParam(), QStringLiteral("Insertion"), QStringLiteral("abc"), 3);
    ASSERT_TRUE(editor);
    // The end of a dictation shortcut the user has not let go of yet.
    ASSERT_EQ(QProcess::execute(QStringLiteral("xdotool"),
                                {QStringLiteral("keydown"), QStringLiteral("shift+alt")}),
              0);
    const InsertionResult result =
        runTask(service->insert(QStringLiteral("你好"), contextOf(*editor), {}));
    QProcess::execute(QStringLiteral("xdotool"),
                      {QStringLiteral("keyup"), QStringLiteral("shift+alt")});
    EXPECT_EQ(result, InsertionResult::pastedFromClipboard);
    EXPECT_EQ(readField(editor->processIdentifier()).value, QStringLiteral("abc你好"));
}

// The accessibility bus acknowledges a text write to a read-only field of
// some toolkits; the field keeps its text.
TEST_P(InsertionIntoEditorTest, AReadOnlyFieldKeepsItsTextAndTheDictationStaysOnTheClipboard) {
    auto editor =
        TestEditorProcess::start(GetParam(), QStringLiteral("Insertion"), QStringLiteral("abc"), 3,
                                 -1, TestEditorProcess::Field::readOnly);
    ASSERT_TRUE(editor);
    auto owner = XClipboardClient::copy(QStringLiteral("old"));
    ASSERT_TRUE(owner);

    const InsertionResult result =
        runTask(service->insert(QStringLiteral("你好"), contextOf(*editor), {}));
    EXPECT_EQ(result, InsertionResult::insertFailedCopiedToClipboard);
    // GTK reads the clipboard for Ctrl+V and pastes nothing; Qt does not
    // even read it.
    const QStringList results = logLines(QStringLiteral("insert.result"));
    EXPECT_TRUE(results == QStringList{QStringLiteral(
                               "result=insertFailedCopiedToClipboard | reason=read-only-field")} ||
                results == QStringList{QStringLiteral(
                               "result=insertFailedCopiedToClipboard | reason=paste-not-taken")})
        << results.join(u'\n').toStdString();
    EXPECT_EQ(readField(editor->processIdentifier()).value, QStringLiteral("abc"));
    // Nothing brings the old content back: the text waits to be pasted.
    testing::processEventsFor(std::chrono::milliseconds(500));
    EXPECT_EQ(XClipboardClient::paste(), QStringLiteral("你好"));
}

// A native window of a Wayland session: the X server (here: one that knows
// no window) could not deliver Ctrl+V to it.
TEST_P(InsertionIntoEditorTest, ANativeWaylandWindowIsWrittenWithoutTouchingTheClipboard) {
    auto editor =
        TestEditorProcess::start(GetParam(), QStringLiteral("Insertion"), QStringLiteral("abc"), 3);
    ASSERT_TRUE(editor);
    auto owner = XClipboardClient::copy(QStringLiteral("old"));
    ASSERT_TRUE(owner);
    service = std::make_unique<Service>(client, pasteboard, XTestKeySender::open(), systemSleeper(),
                                        systemMonotonicClock(), DisplaySession{true},
                                        std::make_shared<FakeWindowSystem>());

    EXPECT_EQ(runTask(service->insert(QStringLiteral("你好"), contextOf(*editor), {})),
              InsertionResult::insertedDirectly);
    EXPECT_EQ(logLines(QStringLiteral("insert.result")),
              QStringList{QStringLiteral("result=insertedDirectly | path=direct-wayland-window")});
    const Field field = readField(editor->processIdentifier());
    EXPECT_EQ(field.value, QStringLiteral("abc你好"));
    EXPECT_EQ(field.selection, (AccessibilityRange{5, 0}));
    EXPECT_EQ(XClipboardClient::paste(), QStringLiteral("old"));
}

INSTANTIATE_TEST_SUITE_P(Toolkits, InsertionIntoEditorTest,
                         ::testing::Values(TestEditorProcess::Toolkit::QtLineEdit,
                                           TestEditorProcess::Toolkit::Gtk),
                         [](const auto &info) {
                             return info.param == TestEditorProcess::Toolkit::Gtk
                                        ? std::string("GtkTextView")
                                        : std::string("QtLineEdit");
                         });

TEST_F(InsertionDesktopTest, WithoutAccessibilityTheTextIsLeftOnTheClipboard) {
    auto owner = XClipboardClient::copy(QStringLiteral("old"));
    ASSERT_TRUE(owner);
    ASSERT_TRUE(testing::setDesktopAccessibilityEnabled(false));
    const InsertionResult result = runTask(service->insert(QStringLiteral("你好"), {}, {}));
    EXPECT_EQ(result, InsertionResult::insertFailedCopiedToClipboard);
    EXPECT_EQ(message(result), QStringLiteral("插入失败，已复制到剪贴板"));
    EXPECT_EQ(logLines(QStringLiteral("insert.result")),
              QStringList{QStringLiteral(
                  "result=insertFailedCopiedToClipboard | reason=accessibility-untrusted")});
    // Nothing brings the old content back.
    testing::processEventsFor(std::chrono::milliseconds(500));
    EXPECT_EQ(XClipboardClient::paste(), QStringLiteral("你好"));
}

} // namespace
} // namespace tovalit
