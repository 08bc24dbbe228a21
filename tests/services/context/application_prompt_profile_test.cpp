#include "services/context/application_prompt_profile.h"

#include <gtest/gtest.h>

namespace tovalit {
namespace {

QString profileOf(const QString &name, const QString &bundle) {
    const auto profile = ApplicationPromptProfile::resolveProfile(name, bundle);
    return profile.appProfileID + QLatin1Char('/') + profile.brandKey + QLatin1Char('/') +
           profile.appCategory;
}

TEST(ApplicationPromptProfile, NeedlesAndTheirOrderDecideTheProfile) {
    EXPECT_EQ(profileOf("Cursor", "anything"), "cursor/cursor/dev_tool");
    EXPECT_EQ(profileOf("Editor", "com.todesktop.230313mzl4w4u92"), "cursor/cursor/dev_tool");
    EXPECT_EQ(profileOf("Claude", "x"), "ai_chat/claude/ai_chat");
    EXPECT_EQ(profileOf("Assistant", "com.anthropic.claudefordesktop"), "ai_chat/ai_chat/ai_chat");
    EXPECT_EQ(profileOf("ChatGPT", "x"), "ai_chat/ai_chat/ai_chat");
    EXPECT_EQ(profileOf("Mail", "com.apple.mail"), "email/email/email");
    EXPECT_EQ(profileOf("Airmail 5", "x"), "email/email/email");
    EXPECT_EQ(profileOf("WeChat", "com.tencent.xinwechat"), "chat_message/messaging/messaging");
    EXPECT_EQ(profileOf("Safari", "com.apple.Safari"), "browser_text_input/browser/browser");
    EXPECT_EQ(profileOf("Pages", "com.apple.iWork.Pages"), "document_editor/docs/document");
    EXPECT_EQ(profileOf("Unknown App", "unknown.app"), "generic/generic/general");
    // Overlaps: the earlier profile wins, substrings match inside words.
    EXPECT_EQ(profileOf("Notion Mail", "x"), "document_editor/docs/document");
    EXPECT_EQ(profileOf("Feishu Docs", "x"), "document_editor/docs/document");
    EXPECT_EQ(profileOf("Finder", "com.example.search"), "browser_text_input/browser/browser");
    EXPECT_EQ(profileOf("Base", "org.knowledge.base"), "browser_text_input/browser/browser");
    // On Linux the desktop entry or window class does the matching.
    EXPECT_EQ(profileOf("Google Chrome", "google-chrome"), "browser_text_input/browser/browser");
    // Chromium as its desktop entry names it on X11, and as it names itself
    // on the accessibility bus, native on Wayland (no identifier: one made
    // from the name).
    EXPECT_EQ(profileOf("Chromium Web Browser", "chromium"), "browser_text_input/browser/browser");
    EXPECT_EQ(profileOf("Chromium", "chromium"), "browser_text_input/browser/browser");
    EXPECT_EQ(profileOf("Chromium", "org.chromium.Chromium"), "browser_text_input/browser/browser");
    EXPECT_EQ(profileOf("Thunderbird Mail", "org.mozilla.Thunderbird"), "email/email/email");
}

TEST(ApplicationPromptProfile, HintsBelongToTheProfileNotTheInput) {
    const auto a = ApplicationPromptProfile::resolveProfile("Claude", "x");
    const auto b = ApplicationPromptProfile::resolveProfile("Helper", "com.openai.chat");
    EXPECT_NE(a.brandKey, b.brandKey);
    EXPECT_EQ(a.styleGuide, b.styleGuide);
    EXPECT_EQ(a.templateHints, b.templateHints);
    EXPECT_EQ(ApplicationPromptProfile::resolveProfile("Slack", "x"),
              ApplicationPromptProfile::resolveProfile("Slack", "x"));
    EXPECT_EQ(ApplicationPromptProfile::resolveProfile("x", "y").audienceHint,
              QStringLiteral("通用文本输入场景"));
}

} // namespace
} // namespace tovalit
