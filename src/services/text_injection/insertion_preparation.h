#pragma once

#include "models/natural_formatting_context.h"
#include "services/text_injection/focused_input_context.h"

#include <QString>
#include <QStringView>

#include <optional>
#include <span>
#include <vector>

namespace tovalit {

// A half-open range of character (grapheme cluster) offsets.
struct CharacterRange {
    qsizetype lower = 0;
    qsizetype upper = 0;

    bool operator==(const CharacterRange &) const = default;
};

// Which rule decided what is written where.
enum class PreparationSource { none, live, captured, liveSentence, capturedSentence };

// The case name, as the diagnostics log prints it.
QString rawValue(PreparationSource source);
std::optional<PreparationSource> preparationSourceFromRawValue(QStringView raw);

// The text to write and, for the live field, the range it overwrites.
struct PreparedInsertion {
    QString text;
    // The live field with the range to overwrite as its selection; never
    // set when prepared from the captured context.
    std::optional<FocusedInputContext> context;
    PreparationSource source = PreparationSource::none;
};

// What a rewrite rule proposes: put `text` in place of the characters of
// `replacementRange`.
struct ContextAwareInsertionRewrite {
    CharacterRange replacementRange;
    QString text;

    bool operator==(const ContextAwareInsertionRewrite &) const = default;
};

// Where, in the text after the caret, the end of the dictated text was
// found, and how long the match is (0 and 0 for no match).
struct RightContextOverlap {
    qsizetype offset = 0;
    qsizetype length = 0;

    bool operator==(const RightContextOverlap &) const = default;
};

// Fits dictated text to what already surrounds the caret: a beginning the
// user had already typed before the caret and an end that already stands
// after it are not typed twice. Pure functions; positions count characters
// (two canonically equivalent characters are equal) except where UTF-16
// is named.
class InsertionPreparation {
public:
    InsertionPreparation() = delete;

    // Characters of a text, each in its canonical composed form so that
    // equal-looking characters compare equal.
    using Characters = std::vector<QString>;
    static Characters characters(QStringView text);

    // Against the field read just before writing. Only the overlap rule
    // applies here: replacing the sentence around the caret would delete
    // text the user typed when the dictation is not a re-take of it.
    static PreparedInsertion prepareInsertion(const QString &text,
                                              const FocusedInputContext &context);
    // Against the text captured when the recording started; changes only
    // the text.
    static PreparedInsertion
    prepareInsertion(const QString &text,
                     const NaturalFormattingContext &usingCapturedFormattingContext);

    static std::optional<ContextAwareInsertionRewrite>
    contextAwareRewrite(const QString &currentValue, CharacterRange selectedRange,
                        const QString &insertedText, int contextWindow, int minimumContextOverlap);
    // A short unit of text around an empty selection that shares almost
    // nothing with the dictated text is taken to be a re-dictated sentence.
    static std::optional<ContextAwareInsertionRewrite>
    sentenceScopedFallbackRewrite(const QString &currentValue, CharacterRange selectedRange,
                                  const QString &insertedText, int maxReplacementLength,
                                  int minimumUnitLength, int minimumInsertedLength);

    static qsizetype longestSuffixPrefixOverlap(std::span<const QString> contextSuffix,
                                                std::span<const QString> inserted);
    static RightContextOverlap longestSuffixSubstringOverlap(std::span<const QString> context,
                                                             std::span<const QString> inserted);
    static CharacterRange sentenceUnitRange(std::span<const QString> text, qsizetype around);
    static QString normalizeForComparison(QStringView text);
    static qsizetype longestCommonSubstringLength(std::span<const QString> first,
                                                  std::span<const QString> second);

    // Nothing when the range lies outside the text or an end falls inside a
    // character.
    static std::optional<CharacterRange> characterRange(AccessibilityRange forUTF16Range,
                                                        const QString &in);
    static std::optional<AccessibilityRange> utf16Range(CharacterRange forCharacterRange,
                                                        const QString &in);

    static constexpr int liveContextWindow = 80;
    static constexpr int liveMinimumContextOverlap = 4;
    static constexpr int capturedMinimumContextWindow = 80;
    static constexpr int capturedMinimumContextOverlap = 3;
    static constexpr int maxReplacementLength = 120;
    static constexpr int minimumUnitLength = 6;
    static constexpr int minimumInsertedLength = 8;
    // A shared run this long means the dictation continues the sentence
    // rather than re-taking it.
    static constexpr int maximumSharedRunForSentenceRewrite = 3;
};

} // namespace tovalit
