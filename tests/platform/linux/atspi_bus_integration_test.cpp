#include "platform/accessibility_thread.h"
#include "platform/linux/atspi_bus.h"
#include "platform/linux/atspi_element.h"
#include "tests/support/atspi_application_stand_in.h"
#include "tests/support/qt_printers.h"
#include "tests/support/run_task.h"
#include "tests/support/test_session.h"

#include <QCoreApplication>

#include <gtest/gtest.h>
#include <limits>

namespace tovalit {
namespace {

using testing::AtspiApplicationStandIn;
using testing::runTask;
using App = AtspiApplicationStandIn;

constexpr quint64 shown = App::showing | App::visible;

// The client reads on the accessibility thread while the stand-in answers
// on the test's.
class AtspiBusTest : public ::testing::Test {
protected:
    void SetUp() override {
        TOVALIT_REQUIRE_DISPLAY();
        app = App::start();
        ASSERT_TRUE(app);
    }

    void TearDown() override {
        thread->post([bus = std::move(bus)]() mutable { bus.reset(); });
    }

    // The application's focused element, as the path of its object, where
    // the window system says `focus`.
    QString focusedElement(std::optional<WindowSystemFocus> focus = std::nullopt) {
        return runTask(thread->run([bus = bus, service = app->service(), focus] {
            if (!bus->connectIfEnabled())
                return QStringLiteral("<not connected>");
            if (focus)
                bus->setWindowSystemFocus([focus] { return *focus; });
            ColdReadDeadline deadline;
            return bus->focusedElement(service, deadline).value_or(AtspiObject{}).path;
        }));
    }

    std::optional<AccessibilityRange> selectedRange(const QString &path) {
        return runTask(thread->run([bus = bus, object = AtspiObject{app->service(), path}] {
            bus->connectIfEnabled();
            AtspiElement element(bus, AtspiElement::Kind::Object, object);
            return accessibilityValueAs<AccessibilityRange>(
                element.attributeValue(ax::selectedTextRange));
        }));
    }

    std::optional<QString> selectedText(const QString &path) {
        return runTask(thread->run([bus = bus, object = AtspiObject{app->service(), path}] {
            bus->connectIfEnabled();
            AtspiElement element(bus, AtspiElement::Kind::Object, object);
            return accessibilityValueAs<QString>(element.attributeValue(ax::selectedText));
        }));
    }

    std::unique_ptr<App> app;
    std::shared_ptr<AccessibilityThread> thread = std::make_shared<AccessibilityThread>();
    std::shared_ptr<AtspiBus> bus = std::make_shared<AtspiBus>();
};

// The field found last time is reused only where a search from the active
// window would still find it: GTK 4 leaves the field of a popover it hid in
// the focused state, and a window that went to the back keeps its focus.
TEST_F(AtspiBusTest, AFieldLeftFocusedInAHiddenPopoverOrABackWindowIsNotTheFocus) {
    const QString window = app->add(App::rootPath(), QStringLiteral("frame"), App::active | shown);
    const QString popover = app->add(window, QStringLiteral("popover"), shown);
    const QString search =
        app->add(popover, QStringLiteral("entry"), App::focused | App::editable | shown);
    app->setText(search, QStringLiteral("查找"), 2);
    const QString body = app->add(window, QStringLiteral("panel"), App::visible);
    const QString view = app->add(body, QStringLiteral("text"), App::editable | shown);
    app->setText(view, QStringLiteral("第一段"), 3);
    ASSERT_EQ(focusedElement(), search);

    app->setStates(popover, 0);
    app->setStates(view, App::focused | App::editable | shown);
    EXPECT_EQ(focusedElement(), view) << "the hidden popover's field was reused";

    const QString other = app->add(App::rootPath(), QStringLiteral("frame"), App::active | shown);
    const QString note =
        app->add(other, QStringLiteral("entry"), App::focused | App::editable | shown);
    app->setStates(window, shown);
    EXPECT_EQ(focusedElement(), note) << "the back window's field was reused";
}

// A spreadsheet keeps its sheet marked focused while a cell is edited, and
// edits the cell in an editor beside the sheet, whose paragraph holds the
// focus too. The sheet found while no cell was edited does not hide the
// editor that opens later, nor does the editor outlive its edit; and the
// sheet's cells are never listed.
TEST_F(AtspiBusTest, TheEditorOfACellBesideItsFocusedSheetIsTheFocusWhileItIsOpen) {
    const QString window = app->add(App::rootPath(), QStringLiteral("frame"), App::active | shown);
    const QString document =
        app->add(window, QStringLiteral("document spreadsheet"), App::editable | shown);
    const QString sheet = app->add(document, QStringLiteral("table"),
                                   App::focused | App::editable | App::managesDescendants | shown);
    app->setChildCount(sheet, std::numeric_limits<qint32>::max());
    ASSERT_EQ(focusedElement(), sheet);

    const QString cell = app->add(document, QStringLiteral("panel"), App::editable | shown);
    const QString paragraph =
        app->add(cell, QStringLiteral("paragraph"), App::focused | App::editable | shown);
    app->setText(paragraph, QStringLiteral("会议改到"), 4);
    EXPECT_EQ(focusedElement(), paragraph) << "the sheet hid the cell being edited";
    EXPECT_EQ(focusedElement(), paragraph);

    app->remove(cell);
    EXPECT_EQ(focusedElement(), sheet);
    EXPECT_EQ(app->childrenListed(sheet), 0);
}

// A freshly opened Firefox page on a busy machine: the window is marked
// focused and the page's editor, which has the focus, not yet; a moment
// later it is. The search looks again rather than end at the window, whose
// text is nothing the user wrote.
TEST_F(AtspiBusTest, ASearchThatEndsAtTheWindowLooksAgainForTheEditorInIt) {
    const QString window =
        app->add(App::rootPath(), QStringLiteral("frame"), App::active | App::focused | shown);
    const QString page = app->add(window, QStringLiteral("document web"), shown);
    const QString editor = app->add(page, QStringLiteral("section"), App::editable | shown);
    app->setText(editor, QStringLiteral("第一段"), 0);
    app->afterStatesRead(
        editor, [this, editor] { app->setStates(editor, App::focused | App::editable | shown); });
    EXPECT_EQ(focusedElement(), editor);
}

// Chromium marks none of its windows active and keeps a focused field in
// each of them: the user types in the one the window system names, found
// by its title and, where titles repeat, by where it stands; where that
// cannot be told, no window's field is taken.
TEST_F(AtspiBusTest, WithNoWindowMarkedActiveOnlyTheFieldOfTheWindowInFrontIsTaken) {
    const QString back = app->add(App::rootPath(), QStringLiteral("frame"), shown);
    app->setName(back, QStringLiteral("窗口A - 浏览器"));
    app->setExtents(back, QRect(10, 10, 800, 600));
    const QString backField =
        app->add(back, QStringLiteral("entry"), App::focused | App::editable | shown);
    app->setText(backField, QStringLiteral("窗口A里的草稿"), 3);
    const QString front = app->add(App::rootPath(), QStringLiteral("frame"), shown);
    app->setName(front, QStringLiteral("窗口B - 浏览器"));
    app->setExtents(front, QRect(20, 20, 800, 600));
    const QString frontField =
        app->add(front, QStringLiteral("entry"), App::focused | App::editable | shown);
    app->setText(frontField, QStringLiteral("窗口B的文字"), 3);

    EXPECT_EQ(focusedElement(), QString()) << "a window nothing names was taken for the front one";

    WindowInfo named;
    named.ownerProcessIdentifier = qint32(QCoreApplication::applicationPid());
    named.name = QStringLiteral("窗口B - 浏览器");
    named.bounds = QRectF(20, 20, 800, 600);
    EXPECT_EQ(focusedElement(WindowSystemFocus{true, named}), frontField);

    app->setName(back, QStringLiteral("窗口B - 浏览器"));
    EXPECT_EQ(focusedElement(), frontField) << "two windows of one title, told apart by place";
    named.bounds = QRectF(10, 10, 800, 600);
    EXPECT_EQ(focusedElement(WindowSystemFocus{true, named}), backField);

    named.ownerProcessIdentifier = named.ownerProcessIdentifier.value() + 1;
    EXPECT_EQ(focusedElement(WindowSystemFocus{true, named}), QString())
        << "the field of a window behind another application's was taken";
}

// Firefox says -1 of the caret of an empty text area that has the focus;
// with text in it, or without the focus, -1 says nothing of where it is.
TEST_F(AtspiBusTest, AFocusedEmptyTextWhoseCaretIsMinusOneHasItAtItsStart) {
    const QString window = app->add(App::rootPath(), QStringLiteral("frame"), App::active | shown);
    const QString area =
        app->add(window, QStringLiteral("entry"), App::focused | App::editable | shown);
    app->setText(area, QString(), -1);
    const QString filled =
        app->add(window, QStringLiteral("entry"), App::focused | App::editable | shown);
    app->setText(filled, QStringLiteral("已有"), -1);
    const QString elsewhere = app->add(window, QStringLiteral("entry"), App::editable | shown);
    app->setText(elsewhere, QString(), -1);

    EXPECT_EQ(selectedRange(area), (AccessibilityRange{0, 0}));
    EXPECT_EQ(selectedRange(filled), std::nullopt);
    EXPECT_EQ(selectedRange(elsewhere), std::nullopt);
}

// Chromium reports a text's selection in code points counted as if its
// UTF-16 offsets were turned into code points twice, and one it cannot turn
// so as empty at the start, while its caret is right. Each selection here,
// forward and backward, is what Chromium said of it on the bus: it reads as
// the user's own, or not at all where the caret stands at neither end; it
// never reads as a caret.
TEST_F(AtspiBusTest, ChromiumsSelectionBesideCharactersBeyondTheBasicPlaneReadsAsTheUsers) {
    app->setToolkit(QStringLiteral("Chromium"));
    const QString window = app->add(App::rootPath(), QStringLiteral("frame"), App::active | shown);
    const QString rare = QStringLiteral("第二段𠀋的内容👍在这里。");
    const QString family = QStringLiteral(
        "家人👨‍👩‍👧‍👦到了🇨🇳🇯🇵，键帽1️⃣好👍🏽。");
    struct Case {
        QString text;
        std::pair<qint64, qint64> reported;
        qint64 caret;
        std::optional<QString> selected;
    };
    const QList<Case> cases = {
        {rare, {4, 6}, 7, QStringLiteral("内容")},
        {rare, {4, 6}, 5, QStringLiteral("内容")},
        // Across paragraphs: the one without the caret, to its end.
        {rare, {7, 10}, -1, QStringLiteral("在这里。")},
        {family, {8, 11}, 15, QStringLiteral("🇨🇳🇯🇵")},
        {family, {8, 11}, 11, QStringLiteral("🇨🇳🇯🇵")},
        {family, {0, 8}, 11, family.left(15)},
        {QStringLiteral("好👍🏽。"), {1, 2}, 3, QStringLiteral("👍🏽")},
        {QStringLiteral("好👍🏽。"), {1, 2}, 1, QStringLiteral("👍🏽")},
        // In a text area, backward over the family.
        {rare + QStringLiteral("家人👨‍👩‍👧‍👦到了"),
         {12, 17},
         14,
         QStringLiteral("👨‍👩‍👧‍👦")},
        // The family, the plain text after it, the keycap, the thumb with its
        // tone: Chromium cannot say where.
        {family, {0, 0}, 9, std::nullopt},
        {family, {0, 0}, 2, std::nullopt},
        {family, {0, 0}, 11, std::nullopt},
        {family, {0, 0}, 21, std::nullopt},
        {family, {0, 0}, 24, std::nullopt},
        // The caret at neither end.
        {rare, {4, 6}, 6, std::nullopt},
        {family, {8, 11}, 12, std::nullopt},
    };
    for (const Case &shape : cases) {
        const QString path = app->add(window, QStringLiteral("paragraph"), App::editable | shown);
        app->setText(path, shape.text, shape.caret);
        app->setSelection(path, shape.reported.first, shape.reported.second);
        const auto range = selectedRange(path);
        const QString what = shape.text + QStringLiteral(" reported %1..%2 caret %3")
                                              .arg(shape.reported.first)
                                              .arg(shape.reported.second)
                                              .arg(shape.caret);
        if (!shape.selected) {
            EXPECT_EQ(range, std::nullopt) << qPrintable(what);
            EXPECT_EQ(selectedText(path), std::nullopt) << qPrintable(what);
            continue;
        }
        ASSERT_TRUE(range) << qPrintable(what);
        EXPECT_EQ(shape.text.mid(range->location, range->length), *shape.selected)
            << qPrintable(what);
        EXPECT_EQ(selectedText(path), shape.selected) << qPrintable(what);
    }

    // With nothing selected, the caret.
    const QString caretOnly = app->add(window, QStringLiteral("paragraph"), App::editable | shown);
    app->setText(caretOnly, family, 11);
    EXPECT_EQ(selectedRange(caretOnly), (AccessibilityRange{15, 0}));
    EXPECT_EQ(selectedText(caretOnly), QString());
}

} // namespace
} // namespace tovalit
