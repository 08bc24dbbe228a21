#pragma once

#include "support/app_error.h"

#include <QFlags>
#include <QString>
#include <QStringView>

#include <memory>
#include <optional>
#include <vector>

namespace tovalit::textkit {

// A pattern that does not compile. Patterns are program constants, so this
// is a programming fault: it surfaces in tests rather than as "no match".
class RegexError : public AppError {
public:
    RegexError(QString pattern, QString reason);
    QString localizedDescription() const override;

private:
    QString m_pattern;
    QString m_reason;
};

// An ICU regular expression (the syntax and template rules of the
// platform's regular-expression class), compiled once, usable from any
// thread. Offsets are UTF-16.
class Regex {
public:
    enum Option {
        NoOption = 0,
        CaseInsensitive = 1 << 0,
        DotMatchesLineSeparators = 1 << 1,
        AnchorsMatchLines = 1 << 2,
        AllowCommentsAndWhitespace = 1 << 3,
        UseUnicodeWordBoundaries = 1 << 4,
    };
    Q_DECLARE_FLAGS(Options, Option)

    // Throws RegexError when the pattern does not compile.
    explicit Regex(QStringView pattern, Options options = NoOption);
    ~Regex();
    Regex(Regex &&) noexcept;
    Regex &operator=(Regex &&) noexcept;

    struct Match {
        // [start, end) of the whole match and of each group; a group that
        // did not take part is {-1, -1}.
        qsizetype start = 0;
        qsizetype end = 0;
        std::vector<std::pair<qsizetype, qsizetype>> groups;

        QString captured(QStringView text, int group = 0) const;
        bool hasGroup(int group) const;
    };

    bool matchesIn(QStringView text) const;
    // True when the pattern matches the whole text.
    bool matchesEntirely(QStringView text) const;
    std::optional<Match> firstMatch(QStringView text, qsizetype from = 0) const;
    std::vector<Match> allMatches(QStringView text) const;
    qsizetype countMatches(QStringView text) const;
    // Replaces every match by `replacementTemplate`, where "$n" stands for
    // group n and a backslash makes the next character literal.
    QString replaceAll(QStringView text, QStringView replacementTemplate) const;
    // Replaces every match by `replacement` exactly as written.
    QString replaceAllLiteral(QStringView text, QStringView replacement) const;

    // Escapes a template so that it inserts `text` literally.
    static QString escapedTemplate(QStringView text);
    static QString escapedPattern(QStringView text);

    QString pattern() const { return m_pattern; }

private:
    QString m_pattern;
    struct Compiled;
    std::unique_ptr<Compiled> m_compiled;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(Regex::Options)

} // namespace tovalit::textkit
