#pragma once

#include <QString>
#include <QStringList>

namespace tovalit {

// The formatter's view of the frontmost application: one of seven fixed
// profiles (code editor, AI chat, document, e-mail, messaging, browser,
// generic) with its prompt hints.
struct ApplicationPromptProfile {
    QString brandKey;
    QString appProfileID;
    QString appCategory;
    QString audienceHint;
    QString outputIntent;
    QString styleGuide;
    QString terminologyHints;
    QString templateHints;

    bool operator==(const ApplicationPromptProfile &) const = default;

    // The first profile whose name or identifier needles match, in the
    // fixed order above; every application gets one.
    static ApplicationPromptProfile resolveProfile(const QString &appName, const QString &bundleID);
    // True when `text` contains any of `keys` (plain substrings).
    static bool matchesAny(const QString &text, const QStringList &keys);
};

} // namespace tovalit
