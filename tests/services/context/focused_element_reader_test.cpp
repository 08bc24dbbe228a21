#include "platform/fake/fake_accessibility.h"
#include "services/context/focused_element_reader.h"
#include "services/text_injection/focused_input_element_search.h"
#include "services/text_injection/focused_input_insertion_error.h"
#include "tests/support/capture_log.h"

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using Element = std::shared_ptr<FakeAccessibilityElement>;
using Reader = FocusedElementReader;

Element textArea(const QString &identity, const QString &value, AccessibilityRange range,
                 const QString &role = QStringLiteral("text area")) {
    Element element = FakeAccessibilityElement::create(identity);
    element->set(ax::value, value).set(ax::selectedTextRange, range).set(ax::roleDescription, role);
    return element;
}

Element container(const QString &identity, const QString &role = QStringLiteral("group")) {
    Element element = FakeAccessibilityElement::create(identity);
    element->set(ax::roleDescription, role);
    return element;
}

// An application whose focused element is `focused`.
void focus(FakeAccessibilityClient &client, qint32 pid, const Element &focused,
           const Element &window = nullptr) {
    Element app = FakeAccessibilityElement::create(QStringLiteral("app-%1").arg(pid));
    app->set(ax::focusedUIElement, AccessibilityElementRef(focused));
    if (window)
        app->set(ax::focusedWindow, AccessibilityElementRef(window));
    client.setApplication(pid, app);
}

class FocusedElementReaderTest : public testing::WithDiagnosticsLog {
protected:
    FakeAccessibilityClient client;
};

TEST_F(FocusedElementReaderTest, CaretInsideATextAreaGivesTheTextAroundIt) {
    Element field = textArea(QStringLiteral("field"), QStringLiteral("hello world"), {5, 0});
    EXPECT_EQ(Reader::textCandidateScore(*field, 0), 98);
    field->setTextGeometry(QRectF(100, 200, 8, 16));
    EXPECT_EQ(Reader::textCandidateScore(*field, 0), 98) << "an empty caret has no width";
    EXPECT_EQ(Reader::textCandidateScore(*field, 2), 94);

    focus(client, 7, field);
    const FocusedElementContext context = Reader::captureFocusedElementContext(client, 7);
    EXPECT_EQ(context.surroundingTextBeforeCursor, QStringLiteral("hello"));
    EXPECT_EQ(context.surroundingTextAfterCursor, QStringLiteral("world"));
    EXPECT_EQ(context.selectedText, std::nullopt);
    EXPECT_EQ(context.role, QStringLiteral("text area"));
    EXPECT_EQ(context.caretRect, std::nullopt);
    EXPECT_TRUE(logLines().isEmpty());
}

TEST_F(FocusedElementReaderTest, ATerminalGivesTheCursorsLineUpToTheCursorAlone) {
    const QString before = QStringLiteral("$ ls\nnotes.txt\n$ echo 会议改到");
    Element screen = textArea(QStringLiteral("screen"), before + QStringLiteral("\n\n"),
                              {before.size(), 0}, QStringLiteral("终端"));
    screen->set(ax::role, QStringLiteral("terminal"));
    focus(client, 7, screen);
    const FocusedElementContext context = Reader::captureFocusedElementContext(client, 7);
    EXPECT_EQ(context.surroundingTextBeforeCursor, QStringLiteral("$ echo 会议改到"));
    EXPECT_TRUE(context.surroundingTextAfterCursor.value_or(QString()).isEmpty());
}

TEST_F(FocusedElementReaderTest, SelectionIsReadFromTheValueWhenTheElementHasNoSelectedText) {
    Element field = textArea(QStringLiteral("field"), QStringLiteral("hello world"), {6, 5});
    EXPECT_EQ(Reader::textCandidateScore(*field, 0), 118);
    field->setTextGeometry(QRectF(100, 200, 8, 16));
    EXPECT_EQ(Reader::textCandidateScore(*field, 0), 130);

    focus(client, 7, field);
    const FocusedElementContext context = Reader::captureFocusedElementContext(client, 7);
    EXPECT_EQ(context.selectedText, QStringLiteral("world"));
    EXPECT_EQ(context.surroundingTextBeforeCursor, QStringLiteral("hello"));
    EXPECT_EQ(context.surroundingTextAfterCursor, std::nullopt);
    EXPECT_EQ(context.caretRect, QRectF(148, 200, 40, 16));
}

TEST_F(FocusedElementReaderTest, LongTextsAreCutToTheCharactersNearestTheCaret) {
    QString before;
    for (int i = 0; i < 300; ++i)
        before += QChar(u'a' + i % 26);
    QString selection;
    for (int i = 0; i < 50; ++i)
        selection += QStringLiteral("line %1  of   text\n").arg(i, 2);
    const QString value = before + selection;
    Element field = textArea(QStringLiteral("field"), value, {300, selection.size()});
    focus(client, 7, field);
    const FocusedElementContext context = Reader::captureFocusedElementContext(client, 7);
    EXPECT_EQ(context.surroundingTextBeforeCursor, before.right(180));
    ASSERT_TRUE(context.selectedText);
    EXPECT_EQ(context.selectedText->size(), 260);
    EXPECT_TRUE(
        context.selectedText->startsWith(QStringLiteral("line 0 of text\nline 1 of text\n")));
}

TEST_F(FocusedElementReaderTest, RangesThatSplitACharacterGiveNoTextFromTheValue) {
    // The caret between the two halves of an emoji: the value cannot be
    // cut there, so only the accessibility reads remain.
    Element field = textArea(QStringLiteral("field"), QStringLiteral("a😀b"), {2, 0});
    focus(client, 7, field);
    EXPECT_EQ(Reader::surroundingTextSegments(QStringLiteral("a😀b"), AccessibilityRange{2, 0}, 180)
                  .has_value(),
              false);
    EXPECT_EQ(Reader::selectedText(*field, QStringLiteral("a😀b"), AccessibilityRange{1, 1}),
              std::nullopt);
    const auto around =
        Reader::surroundingTextSegments(QStringLiteral("a😀b"), AccessibilityRange{1, 2}, 180);
    ASSERT_TRUE(around);
    EXPECT_EQ(around->before, QStringLiteral("a"));
    EXPECT_EQ(around->after, QStringLiteral("b"));
}

TEST_F(FocusedElementReaderTest, AWebAreaWithoutAValueKeepsSearchingItsNeighbours) {
    // Readable range, text only through AXStringForRange: 40 + 18 + 10.
    Element web = container(QStringLiteral("web"), QStringLiteral("web area"));
    web->set(ax::selectedTextRange, AccessibilityRange{4, 0});
    web->answer(ax::stringForRange, [](const AccessibilityValue &parameter) {
        const auto range = std::get<AccessibilityRange>(parameter);
        return std::optional<AccessibilityValue>(
            QStringLiteral("some page text").mid(range.location, range.length));
    });
    EXPECT_EQ(Reader::textCandidateScore(*web, 0), 68);
    Element inner = textArea(QStringLiteral("inner"), QStringLiteral("draft"), {5, 0},
                             QStringLiteral("text field"));
    web->appendChild(inner);
    focus(client, 7, web);
    EXPECT_EQ(Reader::resolvedTextElement(Reader::searchRoots(client, 7), 160), inner);

    // Nothing better around: the web area itself, with its text read
    // through the accessibility interface.
    Element lone = container(QStringLiteral("lone"), QStringLiteral("web area"));
    lone->set(ax::selectedTextRange, AccessibilityRange{4, 0});
    lone->answer(ax::stringForRange, [](const AccessibilityValue &parameter) {
        const auto range = std::get<AccessibilityRange>(parameter);
        return std::optional<AccessibilityValue>(
            QStringLiteral("some page text").mid(range.location, range.length));
    });
    focus(client, 8, lone);
    const FocusedElementContext context = Reader::captureFocusedElementContext(client, 8);
    EXPECT_EQ(context.surroundingTextBeforeCursor, QStringLiteral("some"));
    EXPECT_EQ(context.surroundingTextAfterCursor, QStringLiteral("page text"));
}

TEST_F(FocusedElementReaderTest, SearchTakesTheFirstOfEqualCandidatesAndNothingBelowThirty) {
    // Score 30: a value and nothing else, at depth 0.
    Element valueOnly = FakeAccessibilityElement::create(QStringLiteral("thirty"));
    valueOnly->set(ax::value, QStringLiteral("x"));
    EXPECT_EQ(Reader::resolvedTextElement({valueOnly}, 160), valueOnly);
    // Score 29: the same one level down from a bare container.
    Element root = container(QStringLiteral("root"));
    Element child = FakeAccessibilityElement::create(QStringLiteral("child"));
    child->set(ax::value, QStringLiteral("x")).set(ax::roleDescription, QStringLiteral("pane"));
    root->appendChild(child);
    Element deeper = FakeAccessibilityElement::create(QStringLiteral("deeper"));
    deeper->set(ax::value, QStringLiteral("y"));
    child->appendChild(deeper);
    EXPECT_EQ(Reader::textCandidateScore(*child, 1), 28);
    EXPECT_EQ(Reader::resolvedTextElement({root}, 160), nullptr);

    // Ties below the early accept: the first met breadth-first wins.
    Element parent = container(QStringLiteral("parent"));
    Element first = FakeAccessibilityElement::create(QStringLiteral("first"));
    Element second = FakeAccessibilityElement::create(QStringLiteral("second"));
    first->set(ax::value, QStringLiteral("one")).set(ax::roleDescription, QStringLiteral("text"));
    second->set(ax::value, QStringLiteral("two")).set(ax::roleDescription, QStringLiteral("text"));
    parent->appendChild(first);
    parent->appendChild(second);
    EXPECT_EQ(Reader::resolvedTextElement({parent}, 160), first);
    EXPECT_EQ(Reader::resolvedTextElement({parent}, 0), nullptr);
}

TEST_F(FocusedElementReaderTest, SearchScoresEachElementOnceAndStopsAtTheVisitLimit) {
    Element window = container(QStringLiteral("window"), QStringLiteral("window"));
    QList<Element> rows;
    for (int i = 0; i < 400; ++i) {
        rows << container(QStringLiteral("row-%1").arg(i));
        window->appendChild(rows.last());
    }
    // The field sits beyond what 160 visits reach.
    Element field = textArea(QStringLiteral("far"), QStringLiteral("text"), {0, 0});
    rows.last()->appendChild(field);
    // The window is both the focused element and the focused window.
    focus(client, 7, window, window);
    const QList<AccessibilityElementRef> roots = Reader::searchRoots(client, 7);
    ASSERT_EQ(roots.size(), 1) << "the same element is one root";
    EXPECT_EQ(Reader::resolvedTextElement(roots, 160), nullptr);
    EXPECT_EQ(field->readCount(), 0);
    int scored = 0;
    for (const Element &row : rows)
        scored += row->readCount() > 0 ? 1 : 0;
    EXPECT_EQ(scored, 159);
}

TEST_F(FocusedElementReaderTest, AWindowWithoutTextGivesWhatTheFirstRootSaysAndLogsTheGraph) {
    Element window = container(QStringLiteral("window"), QStringLiteral("window"));
    window->set(ax::description, QStringLiteral("   "))
        .set(ax::title, QStringLiteral(" 设置 "))
        .set(ax::placeholderValue, QStringLiteral("ignored"));
    Element button = container(QStringLiteral("button"), QStringLiteral("button"));
    window->appendChild(button);
    focus(client, 7, window);
    const FocusedElementContext context = Reader::captureFocusedElementContext(client, 7);
    EXPECT_EQ(context.role, QStringLiteral("window"));
    EXPECT_EQ(context.description, QStringLiteral("设置")) << "blank descriptions fall through";
    EXPECT_FALSE(context.hasRichLocalTextContext());
    EXPECT_EQ(logLines(QStringLiteral("capture.ax")),
              QStringList{QStringLiteral(
                  "no-text-context | pid=7 | roots=r0:root{role=window desc=设置 hasValue=false "
                  "hasRange=false attrs=[AXChildren,AXDescription,AXPlaceholderValue,"
                  "AXRoleDescription,AXTitle]} neighbors{n0:role=button desc=<nil> "
                  "hasValue=false hasRange=false attrs=[AXParent,AXRoleDescription]}")});
}

TEST_F(FocusedElementReaderTest, NoRootsOrNoTrustGiveAnEmptyRead) {
    EXPECT_EQ(Reader::captureFocusedElementContext(client, 9), FocusedElementContext{});
    EXPECT_EQ(Reader::captureFocusedElementContext(client, std::nullopt), FocusedElementContext{});
    EXPECT_EQ(logLines(QStringLiteral("capture.ax")),
              (QStringList{QStringLiteral("focused-element-unavailable | pid=9"),
                           QStringLiteral("focused-element-unavailable | pid=<nil>")}));

    client.setTrusted(false);
    focus(client, 7, textArea(QStringLiteral("field"), QStringLiteral("hello"), {5, 0}));
    EXPECT_EQ(Reader::captureFocusedElementContext(client, 7), FocusedElementContext{});
    EXPECT_EQ(logLines(QStringLiteral("capture.ax")).size(), 2) << "no line without trust";
}

TEST_F(FocusedElementReaderTest, SystemWideFocusIsSearchedAfterTheApplication) {
    Element field = textArea(QStringLiteral("field"), QStringLiteral("elsewhere"), {0, 0});
    client.systemWide()->set(ax::focusedUIElement, AccessibilityElementRef(field));
    const FocusedElementContext context = Reader::captureFocusedElementContext(client, 12);
    EXPECT_EQ(context.surroundingTextAfterCursor, QStringLiteral("elsewhere"));
}

// A browser marks the page's document focused as well as the text area in
// it that has the caret; the text area is the focus.
TEST_F(FocusedElementReaderTest, TheFocusIsTheInnermostFocusedElement) {
    Element app = FakeAccessibilityElement::create(QStringLiteral("browser"));
    Element frame = container(QStringLiteral("frame"), QStringLiteral("frame"));
    Element document = container(QStringLiteral("document"), QStringLiteral("document web"));
    document->set(ax::value, QStringLiteral("意见反馈\n请在下面写下您的意见。")).setFocused(true);
    Element form = container(QStringLiteral("form"), QStringLiteral("form"));
    Element entry = textArea(QStringLiteral("entry"), QString(), {0, 0}, QStringLiteral("entry"));
    entry->set(ax::placeholderValue, QStringLiteral("您的意见"))
        .setStates({true, true, true, false, true});
    app->appendChild(frame);
    frame->appendChild(document);
    document->appendChild(container(QStringLiteral("heading"), QStringLiteral("heading")));
    document->appendChild(form);
    form->appendChild(entry);
    client.setApplication(31, app);

    const FocusedElementContext context = Reader::captureFocusedElementContext(client, 31);
    EXPECT_EQ(context.role, QStringLiteral("entry"));
    EXPECT_EQ(context.description, QStringLiteral("您的意见"));
    EXPECT_EQ(context.surroundingTextBeforeCursor, std::nullopt) << "nothing from the page";
    EXPECT_EQ(FocusedInputElementSearch::focusedElement(client, 31), entry);

    // Qt marks a text field's viewport focused with the field: the field is
    // the focus.
    Element field = textArea(QStringLiteral("field"), QStringLiteral("正文"), {2, 0});
    field->setStates({true, true, true, false, true});
    Element viewport = container(QStringLiteral("viewport"), QStringLiteral("filler"));
    viewport->setFocused(true);
    field->appendChild(viewport);
    Element qtApp = FakeAccessibilityElement::create(QStringLiteral("qt"));
    qtApp->appendChild(field);
    client.setApplication(33, qtApp);
    EXPECT_EQ(Reader::searchRoots(client, 33).value(0), field);
}

// Firefox's empty text area has its caret but no text yet, and the page
// around it has both: the dictation goes into the field, and the page's
// text is no context of it.
TEST_F(FocusedElementReaderTest, AFocusedEmptyFieldIsTakenBeforeItsPageIsScored) {
    Element page =
        textArea(QStringLiteral("page"), QStringLiteral("意见反馈\n请在下面写下您的意见。"), {0, 0},
                 QStringLiteral("document web"));
    Element entry = textArea(QStringLiteral("entry"), QString(), {0, 0}, QStringLiteral("entry"));
    entry->set(ax::placeholderValue, QStringLiteral("您的意见"));
    page->appendChild(entry);
    focus(client, 31, entry);

    const FocusedElementContext context = Reader::captureFocusedElementContext(client, 31);
    EXPECT_EQ(context.role, QStringLiteral("entry"));
    EXPECT_EQ(context.description, QStringLiteral("您的意见"));
    EXPECT_EQ(context.surroundingTextAfterCursor, std::nullopt) << "nothing from the page";
}

// Chromium's rich-text editor takes no writes of its value, only keys and
// a paste; empty, or holding one empty paragraph, it reads no text, and
// the page around it reads the editor as one U+FFFC.
TEST_F(FocusedElementReaderTest, AFocusedEditorWhoseValueTakesNoWritesIsTakenBeforeItsPage) {
    Element page =
        textArea(QStringLiteral("page"), QStringLiteral("页面上的文字在这里。\n") + QChar(0xfffc),
                 {11, 0}, QStringLiteral("document web"));
    Element editor =
        textArea(QStringLiteral("editor"), QString(), {0, 0}, QStringLiteral("section"));
    editor->setSettable(ax::value, false);
    page->appendChild(editor);
    focus(client, 32, editor);

    const FocusedElementContext context = Reader::captureFocusedElementContext(client, 32);
    EXPECT_EQ(context.role, QStringLiteral("section"));
    EXPECT_EQ(context.surroundingTextBeforeCursor, std::nullopt) << "the page's text was taken";
    EXPECT_EQ(context.surroundingTextAfterCursor, std::nullopt) << "the page's text was taken";
}

// A page's rich-text editor that cannot be read now (its paragraphs do not
// answer yet) still says where its caret is. It stays the field: the page
// around it, whose text is one U+FFFC per element, is never taken for it,
// neither for the context nor for the paste. Where a page is reached for
// another focus, its U+FFFC reaches no context.
TEST_F(FocusedElementReaderTest, AnUnreadableEditorIsNeverTakenForItsPage) {
    const QString object(1, QChar(0xfffc));
    Element page = textArea(QStringLiteral("page"), object + QStringLiteral("页面下方的说明。"),
                            {0, 0}, QStringLiteral("document web"));
    Element editor = container(QStringLiteral("editor"), QStringLiteral("section"));
    editor->set(ax::caret, AccessibilityRange{1, 0});
    page->appendChild(editor);
    focus(client, 33, editor);

    const FocusedElementContext context = Reader::captureFocusedElementContext(client, 33);
    EXPECT_EQ(context.role, QStringLiteral("section"));
    EXPECT_FALSE(context.hasRichLocalTextContext());
    EXPECT_THROW(FocusedInputElementSearch::focusedInputContext(client, 33),
                 FocusedInputInsertionError);

    Element button = container(QStringLiteral("button"), QStringLiteral("push button"));
    page->appendChild(button);
    focus(client, 34, button);
    EXPECT_EQ(Reader::captureFocusedElementContext(client, 34).surroundingTextAfterCursor,
              QStringLiteral("页面下方的说明。"));
}

// Chromium cannot tell some selections beside emoji: its editor says it
// holds one and gives no range. It stays the field, with no text around a
// guessed caret and no selected text, and its page is never taken for it,
// neither for the context nor for the paste.
TEST_F(FocusedElementReaderTest, AnEditorWhoseSelectionCannotBeToldIsStillTheField) {
    const QString object(1, QChar(0xfffc));
    Element page = textArea(QStringLiteral("page"), QStringLiteral("页面上的文字。") + object,
                            {7, 1}, QStringLiteral("document web"));
    Element editor = FakeAccessibilityElement::create(QStringLiteral("editor"));
    editor->set(ax::value, QStringLiteral("家人👨‍👩‍👧‍👦到了。"))
        .set(ax::caret, AccessibilityRange{15, 0})
        .set(ax::selectionCount, AccessibilityRange{0, 1})
        .set(ax::roleDescription, QStringLiteral("section"))
        .setSettable(ax::value, false);
    page->appendChild(editor);
    focus(client, 35, editor);

    const FocusedElementContext context = Reader::captureFocusedElementContext(client, 35);
    EXPECT_EQ(context.role, QStringLiteral("section"));
    EXPECT_EQ(context.selectedText, std::nullopt);
    EXPECT_EQ(context.surroundingTextBeforeCursor, std::nullopt);
    EXPECT_EQ(context.surroundingTextAfterCursor, std::nullopt);
    EXPECT_THROW(FocusedInputElementSearch::focusedInputContext(client, 35),
                 FocusedInputInsertionError);
}

// GTK 4 says the containers of its windows are not showing, though they
// are visible and hold the focused text view.
TEST_F(FocusedElementReaderTest, TheFocusIsFoundInVisibleContainersThatSayTheyAreNotShowing) {
    Element app = FakeAccessibilityElement::create(QStringLiteral("editor"));
    Element window = container(QStringLiteral("window"), QStringLiteral("window"));
    Element popover = container(QStringLiteral("popover"));
    Element stale = textArea(QStringLiteral("stale"), QStringLiteral("搜索"), {2, 0});
    stale->setFocused(true);
    popover->setStates({false, false, false, false});
    Element outer = container(QStringLiteral("outer"));
    Element inner = container(QStringLiteral("inner"));
    outer->setStates({false, false, true, false});
    inner->setStates({false, false, true, false});
    Element view = textArea(QStringLiteral("view"), QStringLiteral("第一段"), {3, 0},
                            QStringLiteral("text box"));
    view->setFocused(true);
    app->appendChild(window);
    window->appendChild(popover);
    popover->appendChild(stale);
    window->appendChild(outer);
    outer->appendChild(inner);
    inner->appendChild(view);
    client.setApplication(32, app);

    EXPECT_EQ(Reader::searchRoots(client, 32).value(0), view);
}

// KDE's editor marks its text view focused, and with it every button of its
// status bar, which lies nearer the window and is met first: the view is
// the focus, found without scoring the window's elements.
TEST_F(FocusedElementReaderTest, AmongSeveralFocusedElementsTheFieldIsTheFocus) {
    Element app = FakeAccessibilityElement::create(QStringLiteral("editor"));
    Element window = container(QStringLiteral("window"), QStringLiteral("frame"));
    Element central = container(QStringLiteral("central"), QStringLiteral("filler"));
    Element splitter = container(QStringLiteral("splitter"), QStringLiteral("split pane"));
    Element tabs = container(QStringLiteral("tabs"), QStringLiteral("filler"));
    tabs->setFocused(true);
    Element tab = container(QStringLiteral("tab"), QStringLiteral("page tab"));
    tab->setStates({true, false, false, false});
    Element frame = container(QStringLiteral("frame"), QStringLiteral("filler"));
    frame->setFocused(true);
    Element view = textArea(QStringLiteral("view"), QStringLiteral("第一行\n第二行"), {4, 0},
                            QStringLiteral("text"));
    view->setStates({true, true, true, false, true});
    Element statusBar = container(QStringLiteral("status bar"), QStringLiteral("filler"));
    statusBar->setFocused(true);
    Element menuBar = container(QStringLiteral("menu bar"), QStringLiteral("menu bar"));
    app->appendChild(window);
    window->appendChild(central);
    window->appendChild(menuBar);
    central->appendChild(splitter);
    central->appendChild(statusBar);
    for (const QString &label :
         {QStringLiteral("2:1"), QStringLiteral("INSERT"), QStringLiteral("UTF-8")}) {
        Element button = container(label, QStringLiteral("push button"));
        button->set(ax::title, label).setFocused(true);
        statusBar->appendChild(button);
    }
    splitter->appendChild(tabs);
    tabs->appendChild(tab);
    tabs->appendChild(frame);
    frame->appendChild(view);
    for (int item = 0; item < 30; ++item)
        menuBar->appendChild(
            container(QStringLiteral("menu %1").arg(item), QStringLiteral("menu")));
    client.setApplication(41, app);

    EXPECT_EQ(Reader::searchRoots(client, 41).value(0), view);
    EXPECT_EQ(FocusedInputElementSearch::focusedElement(client, 41), view);
    const FocusedElementContext context = Reader::captureFocusedElementContext(client, 41);
    EXPECT_EQ(context.surroundingTextBeforeCursor, QStringLiteral("第一行"));
    EXPECT_EQ(context.surroundingTextAfterCursor, QStringLiteral("第二行"));

    // Where no field is focused, the first focused element met is the focus
    // still.
    view->setStates({false, true, true, false, true});
    EXPECT_EQ(Reader::searchRoots(client, 41).value(0)->identity(), QStringLiteral("2:1"));
}

// A word processor's document manages its descendants, shows the
// paragraphs on screen as its children, and marks the one with the caret
// focused: that paragraph is the focus, and the text around the caret runs
// on into its neighbours, as far as the context reaches and no further.
TEST_F(FocusedElementReaderTest, AParagraphOfADocumentGivesItsNeighboursAsContext) {
    Element app = FakeAccessibilityElement::create(QStringLiteral("office"));
    Element window = container(QStringLiteral("window"), QStringLiteral("frame"));
    Element toolbar = container(QStringLiteral("toolbar"), QStringLiteral("tool bar"));
    Element scroll = container(QStringLiteral("scroll"), QStringLiteral("scroll pane"));
    Element document = container(QStringLiteral("document"), QStringLiteral("document text"));
    document->set(ax::role, QStringLiteral("document text"))
        .setStates({false, true, true, true, true});
    app->appendChild(window);
    window->appendChild(toolbar);
    window->appendChild(scroll);
    scroll->appendChild(document);
    QList<Element> paragraphs;
    for (int index = 0; index < 12; ++index) {
        Element paragraph = textArea(QStringLiteral("p%1").arg(index),
                                     QStringLiteral("第%1段").arg(index) + QString(40, u'字'),
                                     {0, 0}, QStringLiteral("paragraph"));
        paragraph->set(ax::role, QStringLiteral("paragraph"));
        document->appendChild(paragraph);
        paragraphs.append(paragraph);
    }
    Element caret = paragraphs[6];
    caret->set(ax::value, QStringLiteral("评审改到明天上午"))
        .set(ax::selectedTextRange, AccessibilityRange{4, 0});
    caret->setStates({true, true, true, false, true});
    client.setApplication(51, app);

    EXPECT_EQ(Reader::searchRoots(client, 51).value(0), caret);
    const FocusedElementContext context = Reader::captureFocusedElementContext(client, 51);
    const QString filler(40, u'字');
    EXPECT_EQ(context.surroundingTextBeforeCursor,
              QStringLiteral("第2段") + filler + QStringLiteral("\n第3段") + filler +
                  QStringLiteral("\n第4段") + filler + QStringLiteral("\n第5段") + filler +
                  QStringLiteral("\n评审改到"));
    EXPECT_EQ(context.surroundingTextAfterCursor,
              QStringLiteral("明天上午\n第7段") + filler + QStringLiteral("\n第8段") + filler +
                  QStringLiteral("\n第9段") + filler + QStringLiteral("\n第10段") +
                  QString(39, u'字'));
    EXPECT_EQ(paragraphs[1]->readCount(), 0) << "a paragraph beyond reach was read";
    EXPECT_EQ(paragraphs[11]->readCount(), 0) << "a paragraph beyond reach was read";
    EXPECT_EQ(FocusedInputElementSearch::focusedElement(client, 51), caret);

    // A sheet of a million cells is never entered: the cell being edited is
    // found beside it.
    Element sheet = container(QStringLiteral("sheet"), QStringLiteral("table"));
    sheet->setStates({true, true, true, true, true});
    sheet->onRead([](const QString &) { ADD_FAILURE() << "the sheet was scored"; });
    for (int cell = 0; cell < 1000; ++cell)
        sheet->appendChild(container(QStringLiteral("cell %1").arg(cell), QStringLiteral("cell")));
    Element editing = container(QStringLiteral("editing"), QStringLiteral("panel"));
    Element line = textArea(QStringLiteral("line"), QStringLiteral("合计"), {2, 0},
                            QStringLiteral("paragraph"));
    line->set(ax::role, QStringLiteral("paragraph")).setStates({true, true, true, false, true});
    Element calc = FakeAccessibilityElement::create(QStringLiteral("calc"));
    Element sheetWindow = container(QStringLiteral("sheet window"), QStringLiteral("frame"));
    calc->appendChild(sheetWindow);
    sheetWindow->appendChild(sheet);
    sheetWindow->appendChild(editing);
    editing->appendChild(line);
    client.setApplication(52, calc);
    const FocusedElementContext cell = Reader::captureFocusedElementContext(client, 52);
    EXPECT_EQ(cell.surroundingTextBeforeCursor, QStringLiteral("合计"));
    EXPECT_EQ(cell.surroundingTextAfterCursor, std::nullopt);
}

// The word processor's window holds its menus, tool bars and side panel
// nearer the window than its page, hundreds of controls, and nothing on
// the way down to the paragraph with the caret is marked focused: the
// paragraph is found all the same, before the controls are looked at.
TEST_F(FocusedElementReaderTest, AParagraphIsFoundBelowHundredsOfToolBarControls) {
    const auto withRole = [](Element element, const QString &role) {
        element->set(ax::role, role);
        return element;
    };
    Element app = FakeAccessibilityElement::create(QStringLiteral("office"));
    Element window = withRole(container(QStringLiteral("window")), QStringLiteral("frame"));
    Element pane = withRole(container(QStringLiteral("pane")), QStringLiteral("root pane"));
    Element area = withRole(container(QStringLiteral("area")), QStringLiteral("panel"));
    Element scroll = withRole(container(QStringLiteral("scroll")), QStringLiteral("scroll pane"));
    Element split = withRole(container(QStringLiteral("split")), QStringLiteral("split pane"));
    Element page = withRole(container(QStringLiteral("page")), QStringLiteral("panel"));
    Element document =
        withRole(container(QStringLiteral("document")), QStringLiteral("document text"));
    document->setStates({false, true, true, true, true});
    app->appendChild(window);
    window->appendChild(pane);
    pane->appendChild(withRole(container(QStringLiteral("menus")), QStringLiteral("menu bar")));
    pane->appendChild(area);
    int controls = 0;
    for (int bar = 0; bar < 6; ++bar) {
        Element toolBar =
            withRole(container(QStringLiteral("bar %1").arg(bar)), QStringLiteral("tool bar"));
        area->appendChild(toolBar);
        for (int button = 0; button < 120; ++button) {
            Element control = withRole(container(QStringLiteral("control %1").arg(controls++)),
                                       QStringLiteral("push button"));
            toolBar->appendChild(control);
        }
    }
    area->appendChild(scroll);
    scroll->appendChild(split);
    split->appendChild(page);
    page->appendChild(document);
    Element caret;
    for (int index = 0; index < 30; ++index) {
        Element paragraph = withRole(
            textArea(QStringLiteral("p%1").arg(index), QStringLiteral("第%1段").arg(index), {0, 0}),
            QStringLiteral("paragraph"));
        document->appendChild(paragraph);
        if (index == 20)
            caret = paragraph;
    }
    caret->setStates({true, true, true, false, true});
    client.setApplication(53, app);

    EXPECT_EQ(Reader::searchRoots(client, 53).value(0), caret);
    EXPECT_EQ(FocusedInputElementSearch::focusedElement(client, 53), caret);
}

} // namespace
} // namespace tovalit
