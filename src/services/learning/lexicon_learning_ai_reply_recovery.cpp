// Getting the analysis JSON out of the assistant's text; part of
// LexiconLearningAIService. Texts are walked character by character
// (grapheme clusters), so a brace carrying a combining mark is not a brace.

#include "services/learning/lexicon_learning_ai_service.h"
#include "support/regex.h"
#include "support/textkit.h"

#include <vector>

namespace tovalit {

namespace {

// Calls visit(unit, start, end) for every character of `text`: `unit` is
// the character's code unit when it is that one unit alone, else 0.
template <typename Visit>
void forEachCharacter(QStringView text, Visit visit) {
    const std::vector<qsizetype> bounds = textkit::graphemeBoundaries(text);
    for (size_t index = 0; index + 1 < bounds.size(); ++index) {
        const qsizetype start = bounds[index];
        const qsizetype end = bounds[index + 1];
        const char16_t unit = end - start == 1 ? text[start].unicode() : char16_t(0);
        visit(unit, start, end);
    }
}

bool startsWithCharacter(QStringView text, char16_t wanted) {
    if (text.isEmpty() || text.front() != QChar(wanted))
        return false;
    const std::vector<qsizetype> bounds = textkit::graphemeBoundaries(text.left(8));
    return bounds.size() > 1 && bounds[1] == 1;
}

// The stretch from the first `open` to the last `close` character, both
// included; nothing when either is missing or they stand the wrong way round.
std::optional<QString> outermostStretch(QStringView text, char16_t open, char16_t close) {
    qsizetype first = -1;
    qsizetype lastEnd = -1;
    forEachCharacter(text, [&](char16_t unit, qsizetype start, qsizetype end) {
        if (unit == open && first < 0)
            first = start;
        if (unit == close)
            lastEnd = end;
    });
    if (first < 0 || lastEnd < 0 || lastEnd <= first)
        return std::nullopt;
    return text.mid(first, lastEnd - first).toString();
}

bool holdsCharacter(QStringView text, char16_t wanted) {
    bool found = false;
    forEachCharacter(text, [&](char16_t unit, qsizetype, qsizetype) { found |= unit == wanted; });
    return found;
}

// Tracks whether a walk stands inside a JSON string. Returns true for a
// character that belongs to a string (its quotes included), which the
// structural scans then skip.
class StringTracker {
public:
    bool consume(char16_t unit) {
        if (m_escaped) {
            m_escaped = false;
            return true;
        }
        if (unit == u'"') {
            m_inString = !m_inString;
            return true;
        }
        if (m_inString) {
            if (unit == u'\\')
                m_escaped = true;
            return true;
        }
        return false;
    }

private:
    bool m_escaped = false;
    bool m_inString = false;
};

QString removingFirstMatch(const textkit::Regex &pattern, const QString &text) {
    const auto match = pattern.firstMatch(text);
    if (!match)
        return text;
    QString result = text;
    result.remove(match->start, match->end - match->start);
    return result;
}

} // namespace

QString LexiconLearningAIService::normalizedJSONEnvelopeText(QStringView text) {
    static const textkit::Regex jsonFence(uR"(^```json\s*)");
    static const textkit::Regex openingFence(uR"(^```\s*)");
    static const textkit::Regex closingFence(uR"(\s*```$)");

    QString normalized = textkit::trimmed(text);
    normalized.remove(QChar(0xFEFF));
    normalized.remove(QStringLiteral("</think>"));
    normalized.remove(QStringLiteral("<think>"));
    normalized = removingFirstMatch(jsonFence, normalized);
    normalized = removingFirstMatch(openingFence, normalized);
    normalized = removingFirstMatch(closingFence, normalized);
    return textkit::trimmed(normalized);
}

QString LexiconLearningAIService::extractJSONText(QStringView text) {
    const QString normalized = normalizedJSONEnvelopeText(text);
    if (startsWithCharacter(normalized, u'{') || startsWithCharacter(normalized, u'['))
        return normalized;
    // Braces standing the wrong way round ("} … {") define no object; the
    // text is then passed on as it is rather than guessed at.
    if (holdsCharacter(normalized, u'{') && holdsCharacter(normalized, u'}'))
        return outermostStretch(normalized, u'{', u'}').value_or(normalized);
    if (holdsCharacter(normalized, u'[') && holdsCharacter(normalized, u']'))
        return outermostStretch(normalized, u'[', u']').value_or(normalized);
    return normalized;
}

QString LexiconLearningAIService::removeTrailingCommas(QStringView text) {
    static const textkit::Regex trailingComma(uR"(,(\s*[}\]]))");
    return trailingComma.replaceAll(text, u"$1");
}

QStringList LexiconLearningAIService::extractJSONCandidates(QStringView text) {
    const QString normalized = normalizedJSONEnvelopeText(text);
    QStringList objects;
    StringTracker strings;
    int depth = 0;
    qsizetype objectStart = 0;
    forEachCharacter(normalized, [&](char16_t unit, qsizetype start, qsizetype end) {
        if (strings.consume(unit))
            return;
        if (unit == u'{') {
            if (depth == 0)
                objectStart = start;
            ++depth;
        } else if (unit == u'}' && depth > 0) {
            if (--depth == 0)
                objects.append(normalized.mid(objectStart, end - objectStart));
        }
    });
    return objects;
}

std::optional<QString> LexiconLearningAIService::balanceJSONObjectCandidate(QStringView text) {
    const QString trimmed = textkit::trimmed(text);
    if (trimmed.isEmpty())
        return std::nullopt;
    std::vector<char16_t> expectedClosers;
    StringTracker strings;
    forEachCharacter(trimmed, [&](char16_t unit, qsizetype, qsizetype) {
        if (strings.consume(unit))
            return;
        if (unit == u'{')
            expectedClosers.push_back(u'}');
        else if (unit == u'[')
            expectedClosers.push_back(u']');
        else if ((unit == u'}' || unit == u']') && !expectedClosers.empty() &&
                 expectedClosers.back() == unit)
            expectedClosers.pop_back();
    });
    QString balanced = trimmed;
    for (auto closer = expectedClosers.rbegin(); closer != expectedClosers.rend(); ++closer)
        balanced += QChar(*closer);
    return balanced;
}

bool LexiconLearningAIService::looksLikeSeededRootObjectRemainder(QStringView text) {
    const QString trimmed = textkit::trimmed(text);
    if (trimmed.isEmpty() || startsWithCharacter(trimmed, u'{') ||
        startsWithCharacter(trimmed, u'['))
        return false;
    return trimmed.contains(u"\"shouldLearn\"") || trimmed.contains(u"\"summary\"") ||
           trimmed.contains(u"\"candidates\"");
}

QStringList LexiconLearningAIService::repairedJSONCandidates(QStringView text) {
    const QString normalized = normalizedJSONEnvelopeText(text);
    if (normalized.isEmpty())
        return {};
    QStringList variants;
    const auto addWithBalancedForm = [&](const QString &variant) {
        variants << variant << removeTrailingCommas(variant);
        if (const auto balanced = balanceJSONObjectCandidate(variant))
            variants << *balanced << removeTrailingCommas(*balanced);
    };
    addWithBalancedForm(normalized);
    if (looksLikeSeededRootObjectRemainder(normalized))
        addWithBalancedForm(u'{' + normalized);
    return variants;
}

QStringList LexiconLearningAIService::analysisJSONCandidates(QStringView content) {
    QStringList candidates;
    const auto append = [&candidates](QStringView text) {
        const QString trimmed = textkit::trimmed(text);
        if (!trimmed.isEmpty() && !candidates.contains(trimmed))
            candidates.append(trimmed);
    };

    const QString normalized = normalizedJSONEnvelopeText(content);
    append(normalized);
    append(extractJSONText(normalized));
    for (const QString &object : extractJSONCandidates(normalized))
        append(object);
    // Only what the steps above found is repaired; repairs are not repaired
    // again.
    const QStringList found = candidates;
    for (const QString &text : found) {
        for (const QString &repaired : repairedJSONCandidates(text))
            append(repaired);
    }
    return candidates;
}

} // namespace tovalit
