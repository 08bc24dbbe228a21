#include "platform/accessibility_thread.h"
#include "platform/linux/atspi_accessibility_client.h"
#include "platform/linux/atspi_bus.h"
#include "platform/linux/qt_clipboard_pasteboard.h"
#include "platform/linux/xtest_key_sender.h"
#include "services/text_injection/focused_input_insertion_service.h"
#include "tests/support/capture_log.h"
#include "tests/support/desktop_program.h"
#include "tests/support/qt_printers.h"
#include "tests/support/run_task.h"
#include "tests/support/test_editor_process.h"
#include "tests/support/test_session.h"
#include "tests/support/x_clipboard_client.h"
#include "tests/support/xdotool.h"

#include <QClipboard>
#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>

#include <csignal>
#include <gtest/gtest.h>
#include <iostream>

namespace tovalit {
namespace {

using testing::DesktopProgram;
using testing::runTask;
using testing::waitUntil;
using testing::XClipboardClient;
using Service = FocusedInputInsertionService;

class DesktopEditorProgramTest : public testing::WithDiagnosticsLog {
protected:
    void SetUp() override {
        TOVALIT_REQUIRE_DISPLAY();
        ASSERT_TRUE(testing::setDesktopAccessibilityEnabled(true));
        ASSERT_TRUE(folder.isValid());
        service = std::make_unique<Service>(client, pasteboard, XTestKeySender::open());
    }

    void TearDown() override { service.reset(); }

    std::unique_ptr<DesktopProgram> startProgram(const QString &program,
                                                 const QStringList &arguments) {
        auto started = DesktopProgram::start(program, arguments);
        if (!started && !testing::inTestSession())
            return nullptr;
        EXPECT_TRUE(started) << program.toStdString() << " is not installed";
        return started;
    }

    using Field = testing::FocusedFieldReader::Field;

    // The dictation goes in as the application sends it; it must land at
    // the caret, checked, with the user's clipboard given back.
    void dictate(qint32 pid, const QString &text) {
        auto owner = XClipboardClient::copy(QStringLiteral("用户自己的"));
        ASSERT_TRUE(owner);
        QElapsedTimer timer;
        timer.start();
        const InsertionResult result =
            runTask(service->insert(text, testing::editorContext(pid), {}));
        std::cout << "[ timing ] insert to verified paste: " << timer.elapsed() << " ms\n";
        EXPECT_EQ(result, InsertionResult::pastedFromClipboard)
            << logLines().join(u'\n').toStdString();
        const QStringList results = logLines(QStringLiteral("insert.result"));
        EXPECT_EQ(results.value(results.size() - 1),
                  QStringLiteral("result=pastedFromClipboard | path=verified"));
        EXPECT_TRUE(
            waitUntil([] { return XClipboardClient::paste() == QStringLiteral("用户自己的"); },
                      "the user's clipboard to come back"));
    }

    void keys(const QString &sequence) {
        testing::xdotool(
            QStringList{QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("40")} +
            sequence.split(u' '));
    }

    QString writeFile(const QString &name, const QString &text) {
        const QString path = folder.filePath(name);
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(text.toUtf8());
        return path;
    }

    QTemporaryDir folder;
    std::shared_ptr<AccessibilityThread> thread = std::make_shared<AccessibilityThread>();
    std::shared_ptr<AtspiAccessibilityClient> client =
        std::make_shared<AtspiAccessibilityClient>(thread);
    testing::FocusedFieldReader fields{client};
    std::shared_ptr<QtClipboardPasteboard> pasteboard = std::make_shared<QtClipboardPasteboard>();
    std::unique_ptr<Service> service;
};

// KDE's editor marks its status-bar buttons focused beside its text view.
TEST_F(DesktopEditorProgramTest, KdeEditorTakesDictationAtTheCaretOverASelectionAndWhenEmpty) {
    const QString path =
        writeFile(QStringLiteral("notes.txt"), QStringLiteral("第一行\n会议改到\n最后一行\n"));
    auto editor = startProgram(QStringLiteral("kwrite"), {path});
    if (!editor)
        GTEST_SKIP() << "kwrite is not installed";
    const qint32 pid = editor->processIdentifier();
    ASSERT_TRUE(fields.waitFor(
        pid, [](const Field &field) { return field.value && field.value->contains("会议改到"); },
        "the editor's text view to have the focus"));
    keys(QStringLiteral("ctrl+Home Down End"));
    ASSERT_TRUE(fields.waitFor(
        pid,
        [](const Field &field) {
            return field.selection == AccessibilityRange{8, 0};
        },
        "the caret to stand after the second line"));

    const FocusedElementContext context = fields.capture(pid);
    EXPECT_EQ(context.surroundingTextBeforeCursor, QStringLiteral("第一行\n会议改到"));
    EXPECT_EQ(context.surroundingTextAfterCursor, QStringLiteral("最后一行"));
    dictate(pid, QStringLiteral("明天上午"));
    EXPECT_EQ(fields.read(pid).value, QStringLiteral("第一行\n会议改到明天上午\n最后一行\n"));

    // The last line selected is replaced.
    keys(QStringLiteral("Down Home shift+End"));
    ASSERT_TRUE(fields.waitFor(
        pid,
        [](const Field &field) {
            return field.selection == AccessibilityRange{13, 4};
        },
        "the last line to be selected"));
    EXPECT_EQ(fields.capture(pid).selectedText, QStringLiteral("最后一行"));
    dictate(pid, QStringLiteral("散会"));
    EXPECT_EQ(fields.read(pid).value, QStringLiteral("第一行\n会议改到明天上午\n散会\n"));

    // An empty document.
    keys(QStringLiteral("ctrl+a Delete"));
    ASSERT_TRUE(fields.waitFor(
        pid, [](const Field &field) { return field.value == QString(); },
        "the document to be empty"));
    EXPECT_TRUE(fields.capture(pid).emptyField);
    dictate(pid, QStringLiteral("你好"));
    EXPECT_EQ(fields.read(pid).value, QStringLiteral("你好"));
}

// The office suite's commands hand over to its own program in a process
// of its own (started again after a fresh profile is set up): that process
// speaks on the accessibility bus. It is known by the profile it runs on.
qint32 officeProcess(const QString &profileArgument) {
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        const qint32 pid = entry.toInt(&number);
        if (!number)
            continue;
        QFile commandLine(QStringLiteral("/proc/%1/cmdline").arg(entry));
        if (!commandLine.open(QIODevice::ReadOnly))
            continue;
        const QList<QByteArray> words = commandLine.readAll().split('\0');
        if (!words.isEmpty() && words.first().endsWith("soffice.bin") &&
            words.contains(profileArgument.toUtf8()))
            return pid;
    }
    return 0;
}

// The office suite's own process outlives the commands that start it: it
// is stopped when the test ends.
struct OfficeProcessStop {
    QString profileArgument;
    ~OfficeProcessStop() {
        if (const qint32 pid = officeProcess(profileArgument))
            ::kill(pid, SIGKILL);
    }
};

// The office suite starts from a profile of its own: no first-run dialogs,
// no documents restored from another run.
QStringList officeArguments(const QTemporaryDir &folder) {
    const QString profile = folder.filePath(QStringLiteral("office-profile"));
    QDir().mkpath(profile + QStringLiteral("/user"));
    QFile settings(profile + QStringLiteral("/user/registrymodifications.xcu"));
    if (settings.open(QIODevice::WriteOnly))
        settings.write(R"(<?xml version="1.0" encoding="UTF-8"?>
<oor:items xmlns:oor="http://openoffice.org/2001/registry" xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">
<item oor:path="/org.openoffice.Office.Common/Misc"><prop oor:name="ShowTipOfTheDay" oor:op="fuse"><value>false</value></prop></item>
<item oor:path="/org.openoffice.Office.Common/Misc"><prop oor:name="FirstRun" oor:op="fuse"><value>false</value></prop></item>
<item oor:path="/org.openoffice.Setup/Office"><prop oor:name="ooSetupInstCompleted" oor:op="fuse"><value>true</value></prop></item>
</oor:items>
)");
    return {QStringLiteral("-env:UserInstallation=") + QUrl::fromLocalFile(profile).toString(),
            QStringLiteral("--norestore"), QStringLiteral("--nologo")};
}

// The word processor marks the paragraph with the caret focused, deep
// below hundreds of toolbar controls.
TEST_F(DesktopEditorProgramTest, WordProcessorTakesDictationAtTheCaretOverASelectionAndWhenEmpty) {
    const QString path =
        writeFile(QStringLiteral("notes.txt"), QStringLiteral("第一行\n会议改到\n最后一行\n"));
    const QStringList arguments = officeArguments(folder);
    auto office = startProgram(QStringLiteral("lowriter"), QStringList(arguments) << path);
    if (!office)
        GTEST_SKIP() << "the word processor is not installed";
    qint32 pid = 0;
    const OfficeProcessStop stop{arguments.first()};
    ASSERT_TRUE(waitUntil(
        [&] {
            pid = officeProcess(arguments.first());
            return pid && fields.read(pid).value == QStringLiteral("第一行");
        },
        // The suite starts twice over on a fresh profile: slow on a busy
        // machine.
        "the document's first paragraph to have the focus", std::chrono::seconds(180)));
    keys(QStringLiteral("Down End"));
    ASSERT_TRUE(fields.waitFor(
        pid,
        [](const Field &field) {
            return field.value == QStringLiteral("会议改到") &&
                   field.selection == AccessibilityRange{4, 0};
        },
        "the caret to stand after the second paragraph"));

    const FocusedElementContext context = fields.capture(pid);
    EXPECT_EQ(context.surroundingTextBeforeCursor, QStringLiteral("第一行\n会议改到"));
    EXPECT_EQ(context.surroundingTextAfterCursor, QStringLiteral("最后一行"));
    dictate(pid, QStringLiteral("明天上午"));
    EXPECT_EQ(fields.read(pid).value, QStringLiteral("会议改到明天上午"));

    // The last paragraph selected is replaced.
    keys(QStringLiteral("Down Home shift+End"));
    ASSERT_TRUE(fields.waitFor(
        pid,
        [](const Field &field) {
            return field.value == QStringLiteral("最后一行") &&
                   field.selection == AccessibilityRange{0, 4};
        },
        "the last paragraph to be selected"));
    EXPECT_EQ(fields.capture(pid).selectedText, QStringLiteral("最后一行"));
    dictate(pid, QStringLiteral("散会"));
    EXPECT_EQ(fields.read(pid).value, QStringLiteral("散会"));

    // An empty document.
    keys(QStringLiteral("ctrl+a Delete"));
    ASSERT_TRUE(fields.waitFor(
        pid, [](const Field &field) { return field.value == QString(); },
        "the document to be empty"));
    EXPECT_TRUE(fields.capture(pid).emptyField);
    dictate(pid, QStringLiteral("你好"));
    EXPECT_EQ(fields.read(pid).value, QStringLiteral("你好"));
}

// What a cell of the spreadsheet's sheet holds, read from the sheet itself
// on the accessibility bus (its row and column as the sheet counts them):
// the value the cell took, once it is no longer being edited.
std::optional<QString> cellOfSheet(AccessibilityThread &thread, qint32 pid, int row, int column) {
    return runTask(thread.run([pid, row, column]() -> std::optional<QString> {
        AtspiBus bus;
        if (!bus.connectIfEnabled())
            return std::nullopt;
        const auto service = bus.serviceOfProcess(pid);
        // The sheet has the focus while no cell is edited.
        ColdReadDeadline deadline;
        const auto sheet = service ? bus.focusedElement(*service, deadline) : std::nullopt;
        if (!sheet)
            return std::nullopt;
        const auto reply = bus.call(*sheet, QStringLiteral("org.a11y.atspi.Table"),
                                    QStringLiteral("GetAccessibleAt"), {row, column});
        if (!reply || reply->isEmpty() ||
            reply->first().metaType() != QMetaType::fromType<QDBusArgument>())
            return std::nullopt;
        const auto reference = qvariant_cast<QDBusArgument>(reply->first());
        AtspiObject cell;
        QDBusObjectPath path;
        reference.beginStructure();
        reference >> cell.service >> path;
        reference.endStructure();
        cell.path = path.path();
        return bus.text(cell, 0, -1);
    }));
}

// The spreadsheet keeps its sheet marked focused while a cell is edited;
// the text being edited is a paragraph of the cell's editor, which stands
// beside the sheet. The sheet is read first, as the desktop is before the
// user starts editing.
TEST_F(DesktopEditorProgramTest, SpreadsheetTakesDictationIntoTheCellBeingEdited) {
    // Two cells down the first column; a flat document opens with no
    // import dialog.
    const QString path = writeFile(QStringLiteral("notes.fods"),
                                   QStringLiteral(R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
<office:body><office:spreadsheet><table:table table:name="Sheet1">
<table:table-row><table:table-cell office:value-type="string"><text:p>会议改到</text:p></table:table-cell></table:table-row>
<table:table-row><table:table-cell office:value-type="string"><text:p>第二行</text:p></table:table-cell></table:table-row>
</table:table></office:spreadsheet></office:body></office:document>
)"));
    const QStringList arguments = officeArguments(folder);
    auto office = startProgram(QStringLiteral("localc"), QStringList(arguments) << path);
    if (!office)
        GTEST_SKIP() << "the spreadsheet is not installed";
    qint32 pid = 0;
    const OfficeProcessStop stop{arguments.first()};
    ASSERT_TRUE(waitUntil(
        [&] {
            pid = officeProcess(arguments.first());
            return pid && fields.read(pid).role == QStringLiteral("table");
        },
        "the sheet to have the focus", std::chrono::seconds(180)));

    // F2 edits the first cell, the caret at the end of what it holds; the
    // cell below is no part of the context.
    keys(QStringLiteral("F2"));
    ASSERT_TRUE(fields.waitFor(
        pid,
        [](const Field &field) {
            return field.value == QStringLiteral("会议改到") &&
                   field.selection == AccessibilityRange{4, 0};
        },
        "the first cell to be edited with the caret at its end"));
    FocusedElementContext context = fields.capture(pid);
    EXPECT_EQ(context.surroundingTextBeforeCursor, QStringLiteral("会议改到"));
    EXPECT_EQ(context.surroundingTextAfterCursor, std::nullopt);
    dictate(pid, QStringLiteral("明天上午"));
    EXPECT_EQ(fields.read(pid).value, QStringLiteral("会议改到明天上午"));
    keys(QStringLiteral("Return"));
    EXPECT_TRUE(waitUntil(
        [&] { return cellOfSheet(*thread, pid, 0, 0) == QStringLiteral("会议改到明天上午"); },
        "the first cell to hold the dictation", std::chrono::seconds(30)));

    // Typing into an empty cell edits it too.
    keys(QStringLiteral("Up Right t o d o"));
    ASSERT_TRUE(fields.waitFor(
        pid,
        [](const Field &field) {
            return field.value == QStringLiteral("todo") &&
                   field.selection == AccessibilityRange{4, 0};
        },
        "the second cell of the first row to be typed into"));
    EXPECT_EQ(fields.capture(pid).surroundingTextBeforeCursor, QStringLiteral("todo"));
    dictate(pid, QStringLiteral("：评审代码"));
    keys(QStringLiteral("Return"));
    EXPECT_TRUE(waitUntil(
        [&] { return cellOfSheet(*thread, pid, 0, 1) == QStringLiteral("todo：评审代码"); },
        "the typed cell to hold the dictation", std::chrono::seconds(30)));
    EXPECT_EQ(cellOfSheet(*thread, pid, 0, 0), QStringLiteral("会议改到明天上午"));
}

} // namespace
} // namespace tovalit
