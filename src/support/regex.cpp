#include "support/regex.h"

#include <stdexcept>
#include <unicode/regex.h>
#include <unicode/unistr.h>

namespace tovalit::textkit {

namespace {

icu::UnicodeString alias(QStringView text) {
    return icu::UnicodeString(false, reinterpret_cast<const UChar *>(text.utf16()),
                              static_cast<int32_t>(text.size()));
}

QString toQString(const icu::UnicodeString &text) {
    return QString(reinterpret_cast<const QChar *>(text.getBuffer()), text.length());
}

uint32_t icuFlags(Regex::Options options) {
    uint32_t flags = 0;
    if (options & Regex::CaseInsensitive)
        flags |= UREGEX_CASE_INSENSITIVE;
    if (options & Regex::DotMatchesLineSeparators)
        flags |= UREGEX_DOTALL;
    if (options & Regex::AnchorsMatchLines)
        flags |= UREGEX_MULTILINE;
    if (options & Regex::AllowCommentsAndWhitespace)
        flags |= UREGEX_COMMENTS;
    if (options & Regex::UseUnicodeWordBoundaries)
        flags |= UREGEX_UWORD;
    return flags;
}

} // namespace

struct Regex::Compiled {
    std::unique_ptr<icu::RegexPattern> pattern;

    // A matcher over `input`, which must outlive it (ICU keeps a reference).
    std::unique_ptr<icu::RegexMatcher> matcher(const icu::UnicodeString &input) const {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::RegexMatcher> created(pattern->matcher(input, status));
        if (U_FAILURE(status) || !created)
            throw std::runtime_error(std::string("ICU matcher: ") + u_errorName(status));
        return created;
    }
};

RegexError::RegexError(QString pattern, QString reason)
    : m_pattern(std::move(pattern))
    , m_reason(std::move(reason)) {}

QString RegexError::localizedDescription() const {
    return QStringLiteral("正则表达式无效：") + m_reason + QStringLiteral(" (") + m_pattern +
           QStringLiteral(")");
}

Regex::Regex(QStringView pattern, Options options)
    : m_pattern(pattern.toString())
    , m_compiled(std::make_unique<Compiled>()) {
    UErrorCode status = U_ZERO_ERROR;
    UParseError parseError{};
    const icu::UnicodeString source = alias(m_pattern);
    m_compiled->pattern.reset(
        icu::RegexPattern::compile(source, icuFlags(options), parseError, status));
    if (U_FAILURE(status) || !m_compiled->pattern) {
        throw RegexError(m_pattern, QString::fromLatin1(u_errorName(status)) +
                                        QStringLiteral(" at offset ") +
                                        QString::number(parseError.offset));
    }
}

Regex::~Regex() = default;
Regex::Regex(Regex &&) noexcept = default;
Regex &Regex::operator=(Regex &&) noexcept = default;

QString Regex::Match::captured(QStringView text, int group) const {
    if (group == 0)
        return text.sliced(start, end - start).toString();
    if (!hasGroup(group))
        return {};
    const auto &[from, to] = groups[static_cast<size_t>(group - 1)];
    return text.sliced(from, to - from).toString();
}

bool Regex::Match::hasGroup(int group) const {
    if (group == 0)
        return true;
    return group > 0 && group <= static_cast<int>(groups.size()) &&
           groups[static_cast<size_t>(group - 1)].first >= 0;
}

bool Regex::matchesIn(QStringView text) const {
    return firstMatch(text).has_value();
}

bool Regex::matchesEntirely(QStringView text) const {
    const icu::UnicodeString input = alias(text);
    auto matcher = m_compiled->matcher(input);
    UErrorCode status = U_ZERO_ERROR;
    const bool matched = matcher->matches(status);
    return U_SUCCESS(status) && matched;
}

std::optional<Regex::Match> Regex::firstMatch(QStringView text, qsizetype from) const {
    if (from < 0 || from > text.size())
        return std::nullopt;
    const icu::UnicodeString input = alias(text);
    auto matcher = m_compiled->matcher(input);
    UErrorCode status = U_ZERO_ERROR;
    if (!matcher->find(static_cast<int64_t>(from), status) || U_FAILURE(status))
        return std::nullopt;
    Match match;
    match.start = matcher->start(status);
    match.end = matcher->end(status);
    const int32_t groupCount = matcher->groupCount();
    for (int32_t group = 1; group <= groupCount; ++group)
        match.groups.emplace_back(matcher->start(group, status), matcher->end(group, status));
    if (U_FAILURE(status))
        return std::nullopt;
    return match;
}

std::vector<Regex::Match> Regex::allMatches(QStringView text) const {
    std::vector<Match> matches;
    const icu::UnicodeString input = alias(text);
    auto matcher = m_compiled->matcher(input);
    UErrorCode status = U_ZERO_ERROR;
    const int32_t groupCount = matcher->groupCount();
    while (matcher->find() && U_SUCCESS(status)) {
        Match match;
        match.start = matcher->start(status);
        match.end = matcher->end(status);
        for (int32_t group = 1; group <= groupCount; ++group)
            match.groups.emplace_back(matcher->start(group, status), matcher->end(group, status));
        matches.push_back(std::move(match));
    }
    return matches;
}

qsizetype Regex::countMatches(QStringView text) const {
    const icu::UnicodeString input = alias(text);
    auto matcher = m_compiled->matcher(input);
    qsizetype count = 0;
    while (matcher->find())
        ++count;
    return count;
}

QString Regex::replaceAll(QStringView text, QStringView replacementTemplate) const {
    const icu::UnicodeString input = alias(text);
    const icu::UnicodeString replacement = alias(replacementTemplate);
    auto matcher = m_compiled->matcher(input);
    UErrorCode status = U_ZERO_ERROR;
    const icu::UnicodeString result = matcher->replaceAll(replacement, status);
    if (U_FAILURE(status)) {
        // A template that names a group the pattern lacks: treat the
        // template as literal text rather than dropping the replacement.
        return replaceAllLiteral(text, replacementTemplate);
    }
    return toQString(result);
}

QString Regex::replaceAllLiteral(QStringView text, QStringView replacement) const {
    return replaceAll(text, escapedTemplate(replacement));
}

QString Regex::escapedTemplate(QStringView text) {
    QString escaped;
    escaped.reserve(text.size());
    for (QChar c : text) {
        if (c == u'\\' || c == u'$')
            escaped += u'\\';
        escaped += c;
    }
    return escaped;
}

QString Regex::escapedPattern(QStringView text) {
    // \Q…\E quotes everything except a literal "\E", which is split.
    QString escaped = QStringLiteral("\\Q");
    escaped += text.toString().replace(QStringLiteral("\\E"), QStringLiteral("\\E\\\\E\\Q"));
    escaped += QStringLiteral("\\E");
    return escaped;
}

} // namespace tovalit::textkit
