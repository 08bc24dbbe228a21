#include "services/lexicon/local_replacement_engine.h"

#include "services/lexicon/personal_lexicon_compiler.h"
#include "support/regex.h"
#include "support/textkit.h"

#include <algorithm>
#include <numeric>
#include <optional>
#include <unicode/uchar.h>
#include <unicode/ustring.h>

namespace tovalit::LocalReplacementEngine {

namespace {

bool isCjkUnifiedIdeograph(char16_t unit) {
    return unit >= 0x4E00 && unit <= 0x9FFF;
}

bool isAsciiLetterOrDigit(QChar c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
}

// The fold of one character for matching: case folded, then stripped of
// non-spacing marks after decomposition. Width is kept. The common
// characters (ASCII, CJK ideographs, anything that neither decomposes nor
// changes under case folding) skip ICU's normalisers.
void appendFoldedCharacter(QString &folded, QStringView character) {
    if (character.size() == 1) {
        const char16_t unit = character[0].unicode();
        if (unit < 0x80) {
            folded.append(unit >= u'A' && unit <= u'Z' ? QChar(unit + 32) : QChar(unit));
            return;
        }
        if (isCjkUnifiedIdeograph(unit)) {
            folded.append(QChar(unit));
            return;
        }
        if (!QChar::isSurrogate(unit) &&
            !u_hasBinaryProperty(unit, UCHAR_CHANGES_WHEN_CASEFOLDED) &&
            u_getIntPropertyValue(unit, UCHAR_DECOMPOSITION_TYPE) != U_DT_CANONICAL) {
            if (u_charType(unit) != U_NON_SPACING_MARK)
                folded.append(QChar(unit));
            return;
        }
    }
    folded += textkit::diacriticsFolded(textkit::caseFolded(character));
}

// A text folded character by character, remembering where each character
// starts in the folded form, so a match in the folded text maps back to
// whole characters of the original.
class FoldedText {
public:
    explicit FoldedText(QStringView text)
        : m_originalStarts(textkit::graphemeBoundaries(text)) {
        m_folded.reserve(text.size());
        m_foldedStarts.reserve(m_originalStarts.size());
        for (size_t i = 0; i + 1 < m_originalStarts.size(); ++i) {
            m_foldedStarts.push_back(m_folded.size());
            appendFoldedCharacter(
                m_folded,
                text.sliced(m_originalStarts[i], m_originalStarts[i + 1] - m_originalStarts[i]));
        }
        m_foldedStarts.push_back(m_folded.size());
    }

    const QString &folded() const { return m_folded; }

    // UTF-16 ranges of the original text whose folds are `needle`, left to
    // right, not overlapping, each made of whole characters.
    std::vector<std::pair<qsizetype, qsizetype>> find(const QString &needle) const {
        std::vector<std::pair<qsizetype, qsizetype>> ranges;
        if (needle.isEmpty())
            return ranges;
        qsizetype from = 0;
        while (true) {
            const qsizetype at = m_folded.indexOf(needle, from);
            if (at < 0)
                break;
            const auto first = characterStartingAt(at, false);
            const auto end = characterStartingAt(at + needle.size(), true);
            if (!first || !end) {
                from = at + 1;
                continue;
            }
            ranges.emplace_back(m_originalStarts[*first], m_originalStarts[*end]);
            from = at + needle.size();
        }
        return ranges;
    }

private:
    // The character whose fold starts at `offset`. Characters that fold to
    // nothing share a start with their neighbour: a match takes none of
    // them in at either end.
    std::optional<size_t> characterStartingAt(qsizetype offset, bool firstOfEqual) const {
        const auto begin = m_foldedStarts.begin();
        auto found = firstOfEqual ? std::lower_bound(begin, m_foldedStarts.end(), offset)
                                  : std::upper_bound(begin, m_foldedStarts.end(), offset);
        if (!firstOfEqual) {
            if (found == begin)
                return std::nullopt;
            --found;
        }
        if (found == m_foldedStarts.end() || *found != offset)
            return std::nullopt;
        return static_cast<size_t>(found - begin);
    }

    std::vector<qsizetype> m_originalStarts;
    std::vector<qsizetype> m_foldedStarts;
    QString m_folded;
};

QString foldedNeedle(QStringView source) {
    QString needle;
    const auto boundaries = textkit::graphemeBoundaries(source);
    for (size_t i = 0; i + 1 < boundaries.size(); ++i)
        appendFoldedCharacter(needle,
                              source.sliced(boundaries[i], boundaries[i + 1] - boundaries[i]));
    return needle;
}

QString replacingRanges(QStringView text,
                        const std::vector<std::pair<qsizetype, qsizetype>> &ranges,
                        QStringView target) {
    QString result;
    result.reserve(text.size());
    qsizetype copied = 0;
    for (const auto &[start, end] : ranges) {
        result.append(text.sliced(copied, start - copied));
        result.append(target);
        copied = end;
    }
    result.append(text.sliced(copied));
    return result;
}

// Whether a case-insensitive match of an ASCII word could involve a
// character outside ASCII: one whose case folding yields ASCII letters
// (the Kelvin sign, the long s, ß, ligatures such as ﬁ).
bool hasNonAsciiFoldingToAscii(QStringView text) {
    for (char32_t scalar : textkit::codePoints(text)) {
        if (scalar < 0x80 ||
            !u_hasBinaryProperty(static_cast<UChar32>(scalar), UCHAR_CHANGES_WHEN_CASEFOLDED)) {
            continue;
        }
        UChar source[2];
        int32_t length = 0;
        U16_APPEND_UNSAFE(source, length, static_cast<UChar32>(scalar));
        UChar folded[8];
        UErrorCode status = U_ZERO_ERROR;
        const int32_t foldedLength =
            u_strFoldCase(folded, 8, source, length, U_FOLD_CASE_DEFAULT, &status);
        if (U_FAILURE(status))
            return true;
        for (int32_t i = 0; i < foldedLength; ++i) {
            if (folded[i] < 0x80)
                return true;
        }
    }
    return false;
}

// What the current text knows about itself, computed on first need and
// dropped whenever a replacement changes it.
class WorkingText {
public:
    explicit WorkingText(QString text)
        : m_text(std::move(text)) {}

    const QString &text() const { return m_text; }

    void replace(QString text) {
        m_text = std::move(text);
        m_folded.reset();
        m_asciiLowered.reset();
        m_nonAsciiFolds.reset();
    }

    const FoldedText &folded() {
        if (!m_folded)
            m_folded.emplace(m_text);
        return *m_folded;
    }

    // False only when no case-insensitive match of `word` (ASCII letters
    // and digits) can exist, so the regular expression need not be built.
    bool mayContainWord(const QString &word) {
        if (!m_asciiLowered)
            m_asciiLowered = asciiLowered(m_text);
        if (m_asciiLowered->contains(asciiLowered(word)))
            return true;
        if (!m_nonAsciiFolds)
            m_nonAsciiFolds = hasNonAsciiFoldingToAscii(m_text);
        return *m_nonAsciiFolds;
    }

private:
    static QString asciiLowered(const QString &text) {
        QString lowered = text;
        for (QChar &c : lowered) {
            if (c >= u'A' && c <= u'Z')
                c = QChar(c.unicode() + 32);
        }
        return lowered;
    }

    QString m_text;
    std::optional<FoldedText> m_folded;
    std::optional<QString> m_asciiLowered;
    std::optional<bool> m_nonAsciiFolds;
};

} // namespace

bool looksLikeASCIIWord(QStringView source) {
    return !source.isEmpty() && std::all_of(source.begin(), source.end(), isAsciiLetterOrDigit);
}

QString replacingWholeWordMatches(QStringView source, QStringView target, QStringView text) {
    const QString pattern = QStringLiteral("(?<![A-Za-z0-9])") +
                            textkit::Regex::escapedPattern(source) +
                            QStringLiteral("(?![A-Za-z0-9])");
    try {
        const textkit::Regex expression(pattern, textkit::Regex::CaseInsensitive);
        return expression.replaceAllLiteral(text, target);
    } catch (const textkit::RegexError &) {
        return text.toString();
    }
}

QString replacingFoldedMatches(QStringView source, QStringView target, QStringView text) {
    const FoldedText folded(text);
    return replacingRanges(text, folded.find(foldedNeedle(source)), target);
}

LocalReplacementResult apply(const QString &text, const QList<PersonalLexiconEntry> &entries) {
    LocalReplacementResult result{text, {}};
    if (textkit::isBlank(text))
        return result;
    const QList<PersonalLexiconEntry> compiled =
        PersonalLexiconCompiler::makeReplacementEntries(entries);
    if (compiled.isEmpty())
        return result;

    WorkingText current(text);
    for (const PersonalLexiconEntry &entry : compiled) {
        if (!entry.sourceText)
            continue;
        const QString source = textkit::trimmed(*entry.sourceText);
        if (source.isEmpty() || source == entry.targetText)
            continue;

        QString replaced;
        if (looksLikeASCIIWord(source)) {
            if (!current.mayContainWord(source))
                continue;
            replaced = replacingWholeWordMatches(source, entry.targetText, current.text());
        } else {
            const auto ranges = current.folded().find(foldedNeedle(source));
            if (ranges.empty())
                continue;
            replaced = replacingRanges(current.text(), ranges, entry.targetText);
        }
        if (replaced != current.text()) {
            result.appliedEntries.append(entry);
            current.replace(std::move(replaced));
        }
    }
    result.text = current.text();
    return result;
}

} // namespace tovalit::LocalReplacementEngine
