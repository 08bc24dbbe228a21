#include "platform/accessibility_thread.h"
#include "platform/linux/atspi_accessibility_client.h"
#include "tests/support/run_task.h"
#include "tests/support/test_editor_process.h"
#include "tests/support/test_session.h"

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using testing::runTask;
using testing::TestEditorProcess;

class AtspiAccessibilityTest : public ::testing::TestWithParam<TestEditorProcess::Toolkit> {
protected:
    void SetUp() override {
        TOVALIT_REQUIRE_DISPLAY();
        ASSERT_TRUE(testing::setDesktopAccessibilityEnabled(true));
    }

    // Runs `reads` on the accessibility thread.
    template <typename Reads>
    auto onThread(Reads reads) {
        return runTask(thread->run(std::move(reads)));
    }

    std::shared_ptr<AccessibilityThread> thread = std::make_shared<AccessibilityThread>();
    std::shared_ptr<AtspiAccessibilityClient> client =
        std::make_shared<AtspiAccessibilityClient>(thread);
};

struct FocusReads {
    bool trusted = false;
    std::optional<QString> value;
    std::optional<AccessibilityRange> range;
    std::optional<QString> stringForPrefix;
    bool splitRangeRefused = false;
    std::optional<QRectF> caretBounds;
    std::optional<QString> windowTitle;
    std::optional<qint32> pid;
    QString systemWideIdentity;
    QString focusedIdentity;
};

TEST_P(AtspiAccessibilityTest, FocusedEditorReadsInUtf16WhateverTheToolkitCounts) {
    // "ab😀c|d hello world": the caret after five UTF-16 units, four code points.
    const bool qt = GetParam() == TestEditorProcess::Toolkit::Qt;
    auto editor = TestEditorProcess::start(GetParam(), QStringLiteral("Reads 读取"),
                                           QStringLiteral("ab😀cd hello world"), qt ? 5 : 4);
    ASSERT_TRUE(editor);
    const qint32 pid = editor->processIdentifier();
    const FocusReads reads = onThread([client = client, pid] {
        FocusReads r;
        r.trusted = client->isProcessTrusted();
        auto app = client->applicationElement(pid);
        auto focused = accessibilityValueAs<AccessibilityElementRef>(
            app->attributeValue(ax::focusedUIElement));
        if (!focused || !*focused)
            return r;
        AccessibilityElement &field = **focused;
        r.focusedIdentity = field.identity();
        r.value = accessibilityValueAs<QString>(field.attributeValue(ax::value));
        r.range =
            accessibilityValueAs<AccessibilityRange>(field.attributeValue(ax::selectedTextRange));
        r.stringForPrefix = accessibilityValueAs<QString>(
            field.parameterizedAttributeValue(ax::stringForRange, AccessibilityRange{0, 5}));
        r.splitRangeRefused =
            !field.parameterizedAttributeValue(ax::stringForRange, AccessibilityRange{3, 1});
        r.caretBounds = accessibilityValueAs<QRectF>(
            field.parameterizedAttributeValue(ax::boundsForRange, AccessibilityRange{5, 0}));
        r.pid = field.processIdentifier();
        auto window =
            accessibilityValueAs<AccessibilityElementRef>(app->attributeValue(ax::focusedWindow));
        if (window && *window)
            r.windowTitle = accessibilityValueAs<QString>((*window)->attributeValue(ax::title));
        auto systemFocused = accessibilityValueAs<AccessibilityElementRef>(
            client->systemWideElement()->attributeValue(ax::focusedUIElement));
        if (systemFocused && *systemFocused)
            r.systemWideIdentity = (*systemFocused)->identity();
        return r;
    });
    EXPECT_TRUE(reads.trusted);
    EXPECT_EQ(reads.value, QStringLiteral("ab😀cd hello world"));
    EXPECT_EQ(reads.range, (AccessibilityRange{5, 0}));
    EXPECT_EQ(reads.stringForPrefix, QStringLiteral("ab😀c"));
    EXPECT_TRUE(reads.splitRangeRefused);
    ASSERT_TRUE(reads.caretBounds);
    EXPECT_GT(reads.caretBounds->width(), 0);
    EXPECT_GT(reads.caretBounds->height(), 8);
    EXPECT_EQ(reads.windowTitle, QStringLiteral("Reads 读取"));
    EXPECT_EQ(reads.pid, pid);
    EXPECT_EQ(reads.systemWideIdentity, reads.focusedIdentity);
}

TEST_P(AtspiAccessibilityTest, SelectionAndValueWritesLandInTheEditor) {
    const bool qt = GetParam() == TestEditorProcess::Toolkit::Qt;
    auto editor = TestEditorProcess::start(GetParam(), QStringLiteral("Writes"),
                                           QStringLiteral("ab😀cd"), qt ? 6 : 5);
    ASSERT_TRUE(editor);
    const qint32 pid = editor->processIdentifier();
    struct Writes {
        bool selected = false;
        std::optional<AccessibilityRange> range;
        std::optional<QString> selectedText;
        bool splitRefused = false;
        bool settable = false;
        bool replaced = false;
        std::optional<QString> value;
    };
    const Writes writes = onThread([client = client, pid] {
        Writes w;
        if (!client->isProcessTrusted())
            return w;
        auto focused = accessibilityValueAs<AccessibilityElementRef>(
            client->applicationElement(pid)->attributeValue(ax::focusedUIElement));
        if (!focused || !*focused)
            return w;
        AccessibilityElement &field = **focused;
        w.selected = field.setAttributeValue(ax::selectedTextRange, AccessibilityRange{2, 2});
        w.range =
            accessibilityValueAs<AccessibilityRange>(field.attributeValue(ax::selectedTextRange));
        w.selectedText = accessibilityValueAs<QString>(field.attributeValue(ax::selectedText));
        w.splitRefused = !field.setAttributeValue(ax::selectedTextRange, AccessibilityRange{3, 0});
        w.settable = field.isAttributeSettable(ax::value);
        w.replaced = field.setAttributeValue(ax::value, QStringLiteral("新的文本 new"));
        w.value = accessibilityValueAs<QString>(field.attributeValue(ax::value));
        return w;
    });
    EXPECT_TRUE(writes.selected);
    EXPECT_EQ(writes.range, (AccessibilityRange{2, 2}));
    EXPECT_EQ(writes.selectedText, QStringLiteral("😀"));
    EXPECT_TRUE(writes.splitRefused);
    EXPECT_TRUE(writes.settable);
    EXPECT_TRUE(writes.replaced);
    EXPECT_EQ(writes.value, QStringLiteral("新的文本 new"));
}

INSTANTIATE_TEST_SUITE_P(Toolkits, AtspiAccessibilityTest,
                         ::testing::Values(TestEditorProcess::Toolkit::Qt,
                                           TestEditorProcess::Toolkit::Gtk),
                         [](const auto &info) {
                             return info.param == TestEditorProcess::Toolkit::Qt ? "Qt" : "Gtk";
                         });

TEST(AtspiAccessibilityTrust,
     SwitchedOffAccessibilityIsNotTrustedAndUnknownProcessesAnswerNothing) {
    TOVALIT_REQUIRE_DISPLAY();
    auto thread = std::make_shared<AccessibilityThread>();
    auto client = std::make_shared<AtspiAccessibilityClient>(thread);
    ASSERT_TRUE(testing::setDesktopAccessibilityEnabled(false));
    EXPECT_FALSE(runTask(thread->run([client] { return client->isProcessTrusted(); })));
    ASSERT_TRUE(testing::setDesktopAccessibilityEnabled(true));
    EXPECT_TRUE(runTask(thread->run([client] { return client->isProcessTrusted(); })));
    const bool answered = runTask(thread->run([client] {
        auto nobody = client->applicationElement(999999);
        return nobody->attributeValue(ax::focusedUIElement).has_value() ||
               nobody->attributeValue(ax::value).has_value() || !nobody->attributeNames().isEmpty();
    }));
    EXPECT_FALSE(answered);
}

} // namespace
} // namespace tovalit
