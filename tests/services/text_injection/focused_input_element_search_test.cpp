#include "platform/fake/fake_accessibility.h"
#include "services/text_injection/focused_input_element_search.h"
#include "services/text_injection/focused_input_insertion_error.h"
#include "tests/services/text_injection/insertion_printers.h"
#include "tests/support/capture_log.h"

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using Search = FocusedInputElementSearch;
using Element = std::shared_ptr<FakeAccessibilityElement>;

Element textField(const QString &name, const QString &value, AccessibilityRange range,
                  const QString &role = QStringLiteral("text")) {
    Element element = FakeAccessibilityElement::create(name);
    element->set(ax::value, value).set(ax::selectedTextRange, range).set(ax::roleDescription, role);
    return element;
}

Element container(const QString &name) {
    Element element = FakeAccessibilityElement::create(name);
    element->set(ax::role, QStringLiteral("panel"));
    return element;
}

class FocusedInputElementSearchTest : public testing::WithDiagnosticsLog {
protected:
    // The application of process 42 with `focused` as its focus.
    void focusInApplication(const Element &focused) {
        Element app = FakeAccessibilityElement::create(QStringLiteral("app"));
        app->set(ax::focusedUIElement, AccessibilityElementRef(focused));
        client.setApplication(42, app);
    }

    FakeAccessibilityClient client;
};

TEST_F(FocusedInputElementSearchTest, FocusedTextFieldIsTakenWithoutLookingAround) {
    Element window = container(QStringLiteral("window"));
    Element field = textField(QStringLiteral("field"), QStringLiteral("abc"), {3, 0});
    window->appendChild(field);
    focusInApplication(field);

    EXPECT_EQ(Search::editableCandidateScore(*field, 0), 85);
    const FocusedInputContext context = Search::focusedInputContext(client, 42);
    EXPECT_EQ(context.element, field);
    EXPECT_EQ(context.currentValue, QStringLiteral("abc"));
    EXPECT_EQ(context.selectedRange, (AccessibilityRange{3, 0}));
    EXPECT_EQ(window->readCount(), 0);
    // Nor through every other application's windows for the desktop's
    // focus: each look is a round trip to a process that may be busy.
    EXPECT_EQ(client.systemWide()->readCount(), 0);
}

TEST_F(FocusedInputElementSearchTest, FromAFocusedContainerTheSearchFindsItsTextChild) {
    Element pane = container(QStringLiteral("pane"));
    Element label = FakeAccessibilityElement::create(QStringLiteral("label"));
    label->set(ax::value, QStringLiteral("Name")).set(ax::role, QStringLiteral("label"));
    Element area = textField(QStringLiteral("area"), QStringLiteral("hello"), {0, 5},
                             QStringLiteral("text area"));
    pane->appendChild(label);
    pane->appendChild(area);
    focusInApplication(pane);

    EXPECT_EQ(Search::editableCandidateScore(*area, 1), 83);
    EXPECT_EQ(Search::focusedElement(client, 42), area);
    // Without a process identifier, the desktop's focus leads there too.
    client.systemWide()->set(ax::focusedUIElement, AccessibilityElementRef(pane));
    EXPECT_EQ(Search::focusedElement(client, std::nullopt), area);
}

// Firefox's empty text area can show its text and not its caret: it is
// still the field that has the focus, and the page around it is no place
// for the text. An attempt that cannot read it fails at once instead of
// looking through the page.
TEST_F(FocusedInputElementSearchTest, AFocusedEditableFieldIsTheOneEvenWithoutACaret) {
    Element page = textField(QStringLiteral("page"), QStringLiteral("意见反馈"), {0, 0},
                             QStringLiteral("document web"));
    Element area = FakeAccessibilityElement::create(QStringLiteral("area"));
    area->set(ax::value, QString()).set(ax::roleDescription, QStringLiteral("entry"));
    page->appendChild(area);
    focusInApplication(area);

    EXPECT_EQ(Search::focusedElement(client, 42), area);
    EXPECT_THROW(Search::focusedInputContext(client, 42), FocusedInputInsertionError);
    EXPECT_EQ(page->readCount(), 0);
    EXPECT_EQ(client.systemWide()->readCount(), 0);
}

TEST_F(FocusedInputElementSearchTest, ScoresAddUpAsDescribed) {
    Element selectionOnly = FakeAccessibilityElement::create(QStringLiteral("web"));
    selectionOnly->set(ax::selectedTextRange, AccessibilityRange{0, 0})
        .set(ax::roleDescription, QStringLiteral("Web Area"));
    EXPECT_EQ(Search::editableCandidateScore(*selectionOnly, 0), 50);
    selectionOnly->set(ax::selectedText, QStringLiteral("  \n"));
    EXPECT_EQ(Search::editableCandidateScore(*selectionOnly, 0), 50);
    selectionOnly->set(ax::selectedText, QStringLiteral("word"));
    EXPECT_EQ(Search::editableCandidateScore(*selectionOnly, 0), 65);

    Element valueOnly = FakeAccessibilityElement::create(QStringLiteral("value"));
    valueOnly->set(ax::value, QString()).set(ax::role, QStringLiteral("label"));
    EXPECT_EQ(Search::editableCandidateScore(*valueOnly, 2), 31);
    EXPECT_EQ(Search::editableCandidateScore(*container(QStringLiteral("c")), 3), -6);
}

TEST_F(FocusedInputElementSearchTest, AnElementWithOnlyASelectionIsFoundButCannotBeWritten) {
    Element web = FakeAccessibilityElement::create(QStringLiteral("web"));
    web->set(ax::selectedTextRange, AccessibilityRange{0, 0})
        .set(ax::roleDescription, QStringLiteral("web area"));
    focusInApplication(web);
    EXPECT_EQ(Search::focusedElement(client, 42), web);
    try {
        Search::focusedInputContext(client, 42);
        FAIL() << "an element without a value was accepted";
    } catch (const FocusedInputInsertionError &error) {
        EXPECT_EQ(error.kind(), FocusedInputInsertionError::Kind::focusedElementUnavailable);
        EXPECT_EQ(error.localizedDescription(), QStringLiteral("没有找到可写入的当前焦点输入框。"));
    }
}

TEST_F(FocusedInputElementSearchTest, BestCandidateNeedsFortyAndTheFirstOfEqualsWins) {
    // A selection alone at the root scores exactly 40.
    Element forty = FakeAccessibilityElement::create(QStringLiteral("forty"));
    forty->set(ax::selectedTextRange, AccessibilityRange{0, 0});
    EXPECT_EQ(Search::resolvedEditableElement({forty}, 160), forty);

    // A value with a text role three levels down scores 39.
    Element root = container(QStringLiteral("root"));
    Element middle = container(QStringLiteral("middle"));
    Element lower = container(QStringLiteral("lower"));
    Element deep = FakeAccessibilityElement::create(QStringLiteral("deep"));
    deep->set(ax::value, QStringLiteral("x")).set(ax::roleDescription, QStringLiteral("text"));
    root->appendChild(middle);
    middle->appendChild(lower);
    lower->appendChild(deep);
    EXPECT_EQ(Search::editableCandidateScore(*deep, 3), 39);
    EXPECT_EQ(Search::resolvedEditableElement({root}, 160), nullptr);

    // Two children of 48: the first met wins.
    Element parent = container(QStringLiteral("parent"));
    Element first = FakeAccessibilityElement::create(QStringLiteral("first"));
    Element second = FakeAccessibilityElement::create(QStringLiteral("second"));
    for (const Element &child : {first, second}) {
        child->set(ax::selectedTextRange, AccessibilityRange{0, 0})
            .set(ax::roleDescription, QStringLiteral("document"));
        parent->appendChild(child);
    }
    EXPECT_EQ(Search::resolvedEditableElement({parent}, 160), first);
    // The limit counts scored elements.
    EXPECT_EQ(Search::resolvedEditableElement({parent}, 1), nullptr);
    EXPECT_EQ(Search::resolvedEditableElement({}, 160), nullptr);
}

TEST_F(FocusedInputElementSearchTest, FailedSearchLogsWhatItStartedFrom) {
    Search::logSearchFailure(client, std::nullopt);

    Element window = container(QStringLiteral("window"));
    window->set(ax::description, QStringLiteral("  ")).set(ax::title, QStringLiteral("Notes"));
    Element button = FakeAccessibilityElement::create(QStringLiteral("button"));
    button->set(ax::role, QStringLiteral("push button"));
    window->appendChild(button);
    focusInApplication(window);
    EXPECT_THROW(Search::focusedElement(client, 42), FocusedInputInsertionError);
    Search::logSearchFailure(client, 42);

    const QStringList lines = logLines(QStringLiteral("insert.ax"));
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], QStringLiteral("focused-element-unavailable | pid=<nil>"));
    EXPECT_EQ(
        lines[1],
        QStringLiteral("no-editable-context | pid=42 | roots=r0:root{role=panel desc=Notes "
                       "hasValue=false hasRange=false hasSelectedText=false "
                       "attrs=[AXChildren,AXDescription,AXRole,AXTitle]} neighbors{n0:role=push "
                       "button desc=<nil> hasValue=false hasRange=false hasSelectedText=false "
                       "attrs=[AXParent,AXRole]}"));
}

} // namespace
} // namespace tovalit
