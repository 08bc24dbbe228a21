#include "services/text_injection/insertion_preparation.h"

#include "support/regex.h"
#include "support/textkit.h"

#include <algorithm>

namespace tovalit {

namespace {

const QString lineFeed = QStringLiteral("\n");

bool isSentenceDelimiter(const QString &character) {
    static const QStringList delimiters = {
        QStringLiteral("。"), QStringLiteral("！"), QStringLiteral("？"), QStringLiteral("!"),
        QStringLiteral("?"),  QStringLiteral(";"),  QStringLiteral("；"), lineFeed};
    return delimiters.contains(character);
}

// As the platform decides for a character: by its first code point.
bool isWhitespaceCharacter(const QString &character) {
    const std::vector<char32_t> codePoints = textkit::codePoints(character);
    return !codePoints.empty() && textkit::isWhitespace(codePoints.front());
}

std::span<const QString> slice(const InsertionPreparation::Characters &characters, qsizetype from,
                               qsizetype to) {
    return std::span<const QString>(characters).subspan(size_t(from), size_t(to - from));
}

bool sameCharacters(std::span<const QString> first, std::span<const QString> second) {
    return std::equal(first.begin(), first.end(), second.begin(), second.end());
}

PreparationSource sourceOf(const ContextAwareInsertionRewrite &rewrite, const QString &dictated,
                           CharacterRange selection, PreparationSource textChanged,
                           PreparationSource rangeChanged) {
    if (rewrite.text != dictated)
        return textChanged;
    return rewrite.replacementRange != selection ? rangeChanged : textChanged;
}

} // namespace

QString rawValue(PreparationSource source) {
    switch (source) {
    case PreparationSource::none:
        return QStringLiteral("none");
    case PreparationSource::live:
        return QStringLiteral("live");
    case PreparationSource::captured:
        return QStringLiteral("captured");
    case PreparationSource::liveSentence:
        return QStringLiteral("liveSentence");
    case PreparationSource::capturedSentence:
        return QStringLiteral("capturedSentence");
    }
    return {};
}

std::optional<PreparationSource> preparationSourceFromRawValue(QStringView raw) {
    for (const PreparationSource source :
         {PreparationSource::none, PreparationSource::live, PreparationSource::captured,
          PreparationSource::liveSentence, PreparationSource::capturedSentence}) {
        if (raw == rawValue(source))
            return source;
    }
    return std::nullopt;
}

InsertionPreparation::Characters InsertionPreparation::characters(QStringView text) {
    const std::vector<qsizetype> boundaries = textkit::graphemeBoundaries(text);
    Characters result;
    if (boundaries.size() < 2)
        return result;
    result.reserve(boundaries.size() - 1);
    for (size_t index = 1; index < boundaries.size(); ++index) {
        const QStringView character =
            text.mid(boundaries[index - 1], boundaries[index] - boundaries[index - 1]);
        // Plain ASCII is its own composed form; skip ICU for it.
        result.push_back(textkit::isAscii(character) ? character.toString()
                                                     : textkit::nfc(character));
    }
    return result;
}

PreparedInsertion InsertionPreparation::prepareInsertion(const QString &text,
                                                         const FocusedInputContext &context) {
    const PreparedInsertion unchanged{text, context, PreparationSource::none};
    const std::optional<CharacterRange> selection =
        characterRange(context.selectedRange, context.currentValue);
    if (!selection)
        return unchanged;
    const std::optional<ContextAwareInsertionRewrite> rewrite = contextAwareRewrite(
        context.currentValue, *selection, text, liveContextWindow, liveMinimumContextOverlap);
    if (!rewrite)
        return unchanged;
    const std::optional<AccessibilityRange> range =
        utf16Range(rewrite->replacementRange, context.currentValue);
    if (!range)
        return unchanged;
    FocusedInputContext widened = context;
    widened.selectedRange = *range;
    return PreparedInsertion{rewrite->text, widened,
                             sourceOf(*rewrite, text, *selection, PreparationSource::live,
                                      PreparationSource::liveSentence)};
}

PreparedInsertion InsertionPreparation::prepareInsertion(
    const QString &text, const NaturalFormattingContext &usingCapturedFormattingContext) {
    const NaturalFormattingContext &captured = usingCapturedFormattingContext;
    const QString before = captured.surroundingTextBeforeCursor.value_or(QString());
    const QString selected = captured.selectedText.value_or(QString());
    const QString after = captured.surroundingTextAfterCursor.value_or(QString());
    const QString combined = before + selected + after;
    if (combined.isEmpty())
        return PreparedInsertion{text, std::nullopt, PreparationSource::none};
    const qsizetype selectionStart = textkit::graphemeCount(before);
    const CharacterRange selection{selectionStart,
                                   selectionStart + textkit::graphemeCount(selected)};
    const int window =
        int(qMax<qsizetype>(textkit::graphemeCount(combined), capturedMinimumContextWindow));
    std::optional<ContextAwareInsertionRewrite> rewrite =
        contextAwareRewrite(combined, selection, text, window, capturedMinimumContextOverlap);
    if (!rewrite)
        rewrite = sentenceScopedFallbackRewrite(combined, selection, text, maxReplacementLength,
                                                minimumUnitLength, minimumInsertedLength);
    if (!rewrite)
        return PreparedInsertion{text, std::nullopt, PreparationSource::none};
    return PreparedInsertion{rewrite->text, std::nullopt,
                             sourceOf(*rewrite, text, selection, PreparationSource::captured,
                                      PreparationSource::capturedSentence)};
}

std::optional<ContextAwareInsertionRewrite>
InsertionPreparation::contextAwareRewrite(const QString &currentValue, CharacterRange selectedRange,
                                          const QString &insertedText, int contextWindow,
                                          int minimumContextOverlap) {
    const Characters current = characters(currentValue);
    const Characters dictated = characters(insertedText);
    const qsizetype count = qsizetype(current.size());
    const qsizetype lower = selectedRange.lower;
    const qsizetype upper = selectedRange.upper;
    if (lower < 0 || upper > count || upper < lower)
        return std::nullopt;
    const qsizetype window = qMax(contextWindow, 0);
    const auto left = slice(current, qMax<qsizetype>(lower - window, 0), lower);
    const auto right = slice(current, upper, qMin(upper + window, count));

    const qsizetype prefix = longestSuffixPrefixOverlap(left, dictated);
    const auto remaining = slice(dictated, prefix, qsizetype(dictated.size()));
    const RightContextOverlap match = longestSuffixSubstringOverlap(right, remaining);
    if (prefix < minimumContextOverlap && match.length < minimumContextOverlap)
        return std::nullopt;

    const QString text = textkit::graphemeSlice(insertedText, prefix,
                                                qsizetype(dictated.size()) - prefix - match.length);
    const qsizetype end = upper + match.offset;
    if (end == upper && text == insertedText)
        return std::nullopt;
    return ContextAwareInsertionRewrite{{lower, end}, text};
}

std::optional<ContextAwareInsertionRewrite> InsertionPreparation::sentenceScopedFallbackRewrite(
    const QString &currentValue, CharacterRange selectedRange, const QString &insertedText,
    int maxReplacementLength, int minimumUnitLength, int minimumInsertedLength) {
    const Characters current = characters(currentValue);
    if (selectedRange.lower < 0 || selectedRange.upper > qsizetype(current.size()) ||
        selectedRange.lower != selectedRange.upper)
        return std::nullopt;
    const QString trimmed = textkit::trimmed(insertedText);
    const Characters trimmedCharacters = characters(trimmed);
    if (qsizetype(trimmedCharacters.size()) < minimumInsertedLength)
        return std::nullopt;
    const CharacterRange unit = sentenceUnitRange(current, selectedRange.lower);
    const qsizetype unitLength = unit.upper - unit.lower;
    if (unitLength < minimumUnitLength || unitLength > maxReplacementLength)
        return std::nullopt;
    const QString unitText = textkit::graphemeSlice(currentValue, unit.lower, unitLength);
    if (normalizeForComparison(unitText) == normalizeForComparison(trimmed))
        return std::nullopt;
    if (longestCommonSubstringLength(slice(current, unit.lower, unit.upper), trimmedCharacters) >
        maximumSharedRunForSentenceRewrite)
        return std::nullopt;
    return ContextAwareInsertionRewrite{unit, trimmed};
}

qsizetype InsertionPreparation::longestSuffixPrefixOverlap(std::span<const QString> contextSuffix,
                                                           std::span<const QString> inserted) {
    const size_t longest = std::min(contextSuffix.size(), inserted.size());
    for (size_t length = longest; length >= 1; --length) {
        if (sameCharacters(contextSuffix.last(length), inserted.first(length)))
            return qsizetype(length);
    }
    return 0;
}

RightContextOverlap
InsertionPreparation::longestSuffixSubstringOverlap(std::span<const QString> context,
                                                    std::span<const QString> inserted) {
    const size_t longest = std::min(context.size(), inserted.size());
    for (size_t length = longest; length >= 1; --length) {
        const auto suffix = inserted.last(length);
        for (size_t offset = 0; offset + length <= context.size(); ++offset) {
            if (sameCharacters(context.subspan(offset, length), suffix))
                return RightContextOverlap{qsizetype(offset), qsizetype(length)};
        }
    }
    return {};
}

CharacterRange InsertionPreparation::sentenceUnitRange(std::span<const QString> text,
                                                       qsizetype around) {
    const qsizetype count = qsizetype(text.size());
    const qsizetype caret = std::clamp<qsizetype>(around, 0, count);
    const auto at = [&text](qsizetype index) -> const QString & { return text[size_t(index)]; };

    qsizetype lineStart = 0;
    for (qsizetype index = caret - 1; index >= 0; --index) {
        if (at(index) == lineFeed) {
            lineStart = index + 1;
            break;
        }
    }
    qsizetype lineEnd = count;
    for (qsizetype index = caret; index < count; ++index) {
        if (at(index) == lineFeed) {
            lineEnd = index;
            break;
        }
    }
    qsizetype start = lineStart;
    for (qsizetype index = caret - 1; index >= lineStart; --index) {
        if (isSentenceDelimiter(at(index))) {
            start = index + 1;
            break;
        }
    }
    qsizetype end = lineEnd;
    for (qsizetype index = caret; index < lineEnd; ++index) {
        if (isSentenceDelimiter(at(index))) {
            end = index + 1;
            break;
        }
    }
    while (start < end && isWhitespaceCharacter(at(start)))
        ++start;
    if (start >= end)
        return CharacterRange{end, end};
    while (end > start && isWhitespaceCharacter(at(end - 1)))
        --end;
    return CharacterRange{start, end};
}

QString InsertionPreparation::normalizeForComparison(QStringView text) {
    static const textkit::Regex spaceAndPunctuation(QStringLiteral("[[:space:][:punct:]]+"));
    return textkit::trimmed(spaceAndPunctuation.replaceAllLiteral(text, QStringView()));
}

qsizetype InsertionPreparation::longestCommonSubstringLength(std::span<const QString> first,
                                                             std::span<const QString> second) {
    if (first.empty() || second.empty())
        return 0;
    std::vector<qsizetype> previous(second.size() + 1, 0);
    std::vector<qsizetype> current(second.size() + 1, 0);
    qsizetype longest = 0;
    for (size_t i = 1; i <= first.size(); ++i) {
        for (size_t j = 1; j <= second.size(); ++j) {
            current[j] = first[i - 1] == second[j - 1] ? previous[j - 1] + 1 : 0;
            longest = std::max(longest, current[j]);
        }
        std::swap(previous, current);
    }
    return longest;
}

std::optional<CharacterRange> InsertionPreparation::characterRange(AccessibilityRange forUTF16Range,
                                                                   const QString &in) {
    const AccessibilityRange &range = forUTF16Range;
    if (range.location < 0 || range.length < 0 || range.location > in.size() ||
        range.length > in.size() - range.location)
        return std::nullopt;
    const auto lower = textkit::graphemeIndexForUtf16Offset(in, qsizetype(range.location));
    const auto upper =
        textkit::graphemeIndexForUtf16Offset(in, qsizetype(range.location + range.length));
    if (!lower || !upper)
        return std::nullopt;
    return CharacterRange{*lower, *upper};
}

std::optional<AccessibilityRange> InsertionPreparation::utf16Range(CharacterRange forCharacterRange,
                                                                   const QString &in) {
    const CharacterRange &range = forCharacterRange;
    if (range.lower < 0 || range.upper < range.lower)
        return std::nullopt;
    const auto lower = textkit::utf16OffsetForGraphemeIndex(in, range.lower);
    const auto upper = textkit::utf16OffsetForGraphemeIndex(in, range.upper);
    if (!lower || !upper)
        return std::nullopt;
    return AccessibilityRange{*lower, *upper - *lower};
}

} // namespace tovalit
