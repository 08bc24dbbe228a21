#include "services/lexicon/lexicon_term_validator.h"

#include "support/textkit.h"

#include <QSet>

#include <algorithm>
#include <array>

namespace tovalit::LexiconTermValidator {

namespace {

// The word sets are compared with a term's key; the lists are compared with
// the term itself, exactly, and scanned in order.

const QSet<QString> &stopTerms() {
    static const QSet<QString> terms{
        "我们",   "你们",   "他们",   "她们",   "这个",   "那个", "这里", "那里", "然后",
        "因为",   "所以",   "如果",   "就是",   "还是",   "已经", "可以", "一下", "一下子",
        "今天",   "明天",   "刚刚",   "现在",   "现在的", "刚才", "真的", "其实", "感觉",
        "自己",   "什么",   "怎么",   "怎么样", "一个",   "两个", "好的", "不好", "不是",
        "没有",   "还有",   "有点",   "很多",   "觉得",   "看看", "需要", "这样", "那个啥",
        "这个啥", "然后呢", "然后吧", "这个吧", "type"};
    return terms;
}

const QSet<QString> &englishStopTerms() {
    static const QSet<QString> terms{
        "about", "again",  "check", "feel",  "good",  "hello", "later", "look",  "maybe",
        "okay",  "really", "right", "sorry", "tell",  "then",  "think", "today", "tomorrow",
        "type",  "want",   "what",  "when",  "where", "which", "why",   "yeah"};
    return terms;
}

const QSet<QString> &exactRejectedChinesePhrases() {
    static const QSet<QString> phrases{"不然的话", "很早以前", "后起之秀", "知不知道",
                                       "会不会",   "能不能",   "要不要",   "是不是",
                                       "行不行",   "有没有",   "可不可以", "对不对"};
    return phrases;
}

const QSet<QString> &genericHistoryTerms() {
    static const QSet<QString> terms{"个人", "词库", "续航", "东西", "概念", "内容",
                                     "产品", "功能", "问题", "方案", "逻辑", "能力",
                                     "模块", "部分", "情况", "流程", "结果"};
    return terms;
}

const QSet<QString> &fourCharacterFunctionCharacters() {
    static const QSet<QString> characters{"不", "之", "的", "了", "很"};
    return characters;
}

constexpr std::array<QStringView, 15> bannedChinesePrefixes{
    u"很",   u"太",   u"更",   u"最",   u"不然", u"如果", u"因为", u"所以",
    u"然后", u"这个", u"那个", u"我们", u"你们", u"他们", u"她们"};

constexpr std::array<QStringView, 13> bannedChineseSuffixes{
    u"的话", u"以前", u"之后", u"的时候", u"一下", u"一下子", u"吗",
    u"呢",   u"吧",   u"呀",   u"啊",     u"嘛",   u"了"};

constexpr std::array<QStringView, 6> contextualPrefixes{u"这个", u"那个", u"我们",
                                                        u"你们", u"他们", u"她们"};

constexpr std::array<QStringView, 2> contextualFragments{u"相关的", u"内容上"};

constexpr std::array<QStringView, 14> genericNounTerms{u"概念", u"内容", u"功能", u"问题", u"方案",
                                                       u"逻辑", u"产品", u"能力", u"模块", u"部分",
                                                       u"东西", u"情况", u"流程", u"结果"};

// "的" followed by each generic noun: the endings of a contextual phrase.
const QStringList &genericNounEndings() {
    static const QStringList endings = [] {
        QStringList list;
        for (QStringView noun : genericNounTerms)
            list.append(QStringLiteral("的") + noun.toString());
        return list;
    }();
    return endings;
}

constexpr qsizetype maximumHotwordLength = 24;
constexpr qsizetype learnedTermLengthLimit = 25;

QString keyOf(QStringView term) {
    return PersonalLexiconEntry::normalizedValue(term);
}

bool isAsciiScalar(char32_t scalar) {
    return scalar <= 0x7F;
}

bool containsWhitespace(QStringView text) {
    const auto scalars = textkit::codePoints(text);
    return std::any_of(scalars.begin(), scalars.end(), textkit::isWhitespace);
}

bool hasAsciiAndNonAscii(QStringView text) {
    const auto scalars = textkit::codePoints(text);
    const bool ascii = std::any_of(scalars.begin(), scalars.end(), isAsciiScalar);
    const bool other = !std::all_of(scalars.begin(), scalars.end(), isAsciiScalar);
    return ascii && other;
}

// Prefix and suffix tests that respect characters: a prefix followed by a
// combining mark is a different character, not a prefix.
bool hasCharacterPrefix(QStringView term, QStringView prefix) {
    return term.startsWith(prefix) && textkit::isGraphemeBoundary(term, prefix.size());
}

bool hasCharacterSuffix(QStringView term, QStringView suffix) {
    return term.endsWith(suffix) && textkit::isGraphemeBoundary(term, term.size() - suffix.size());
}

template <size_t Count>
bool beginsWithAny(QStringView term, const std::array<QStringView, Count> &prefixes) {
    return std::any_of(prefixes.begin(), prefixes.end(),
                       [term](QStringView prefix) { return hasCharacterPrefix(term, prefix); });
}

template <size_t Count>
bool endsWithAny(QStringView term, const std::array<QStringView, Count> &suffixes) {
    return std::any_of(suffixes.begin(), suffixes.end(),
                       [term](QStringView suffix) { return hasCharacterSuffix(term, suffix); });
}

// Length in UTF-16 units of the code point starting at `offset`.
qsizetype scalarLength(QStringView text, qsizetype offset) {
    return text[offset].isHighSurrogate() && offset + 1 < text.size() &&
                   text[offset + 1].isLowSurrogate()
               ? 2
               : 1;
}

char32_t scalarAt(QStringView text, qsizetype offset) {
    return scalarLength(text, offset) == 2 ? QChar::surrogateToUcs4(text[offset], text[offset + 1])
                                           : text[offset].unicode();
}

bool isWhitespaceOrPunctuation(char32_t scalar) {
    return textkit::isWhitespace(scalar) || textkit::isPunctuation(scalar);
}

// The text without the scalars at either end for which `strip` holds.
template <typename Strip>
QStringView trimmedScalars(QStringView text, Strip strip) {
    qsizetype begin = 0;
    while (begin < text.size() && strip(scalarAt(text, begin)))
        begin += scalarLength(text, begin);
    qsizetype end = text.size();
    while (end > begin) {
        qsizetype start = end - 1;
        if (text[start].isLowSurrogate() && start > begin && text[start - 1].isHighSurrogate())
            --start;
        if (!strip(scalarAt(text, start)))
            break;
        end = start;
    }
    return text.sliced(begin, end - begin);
}

// Pieces separated by runs of white space, without empty pieces.
QList<QStringView> whitespaceSeparatedPieces(QStringView text) {
    QList<QStringView> pieces;
    qsizetype pieceStart = -1;
    for (qsizetype offset = 0; offset < text.size();) {
        const qsizetype length = scalarLength(text, offset);
        const bool space = textkit::isWhitespace(scalarAt(text, offset));
        if (space && pieceStart >= 0) {
            pieces.append(text.sliced(pieceStart, offset - pieceStart));
            pieceStart = -1;
        } else if (!space && pieceStart < 0) {
            pieceStart = offset;
        }
        offset += length;
    }
    if (pieceStart >= 0)
        pieces.append(text.sliced(pieceStart));
    return pieces;
}

} // namespace

bool looksLikeContextualPhrase(QStringView term) {
    const QString trimmed = textkit::trimmed(term);
    if (trimmed.isEmpty())
        return false;
    if (beginsWithAny(trimmed, contextualPrefixes))
        return true;
    for (QStringView fragment : contextualFragments) {
        if (trimmed.contains(fragment))
            return true;
    }
    for (const QString &ending : genericNounEndings()) {
        if (hasCharacterSuffix(trimmed, ending))
            return true;
    }
    return false;
}

bool containsPunctuationOrSymbols(QStringView term) {
    const auto scalars = textkit::codePoints(term);
    return std::any_of(scalars.begin(), scalars.end(), [](char32_t scalar) {
        return textkit::isPunctuation(scalar) || textkit::isSymbol(scalar);
    });
}

bool isWordLikeToken(QStringView term) {
    const QString trimmed = textkit::trimmed(term);
    if (trimmed.isEmpty())
        return false;
    const auto scalars = textkit::codePoints(trimmed);
    return std::all_of(scalars.begin(), scalars.end(), [](char32_t scalar) {
        return textkit::isAlphabetic(scalar) ||
               textkit::numericType(scalar) != textkit::NumericType::None;
    });
}

bool hasRepeatedFourCharacterPattern(QStringView term) {
    const auto boundaries = textkit::graphemeBoundaries(term);
    if (boundaries.size() != 5)
        return false;
    const auto character = [&](size_t index) {
        return term.sliced(boundaries[index], boundaries[index + 1] - boundaries[index]);
    };
    return character(0) == character(1) && character(2) == character(3);
}

std::optional<QString> sanitizeAutoLearnedTerm(QStringView term) {
    const QStringView trimmed = trimmedScalars(term, isWhitespaceOrPunctuation);
    if (trimmed.isEmpty() || textkit::graphemeCount(trimmed) >= learnedTermLengthLimit)
        return std::nullopt;
    if (trimmed.contains(u'|') || trimmed.contains(u'\n') || trimmed.contains(u'\t'))
        return std::nullopt;
    const QList<QStringView> pieces = whitespaceSeparatedPieces(trimmed);
    if (pieces.isEmpty() || pieces.size() > 2)
        return std::nullopt;
    if (!std::all_of(pieces.begin(), pieces.end(), isWordLikeToken))
        return std::nullopt;
    QString joined = pieces.first().toString();
    if (pieces.size() == 2)
        joined += u' ' + pieces.last().toString();
    if (stopTerms().contains(keyOf(joined)))
        return std::nullopt;
    return joined;
}

std::optional<QString> cloudCompatibleHotword(QStringView term) {
    QString trimmed = textkit::trimmed(term);
    if (trimmed.isEmpty() || containsWhitespace(trimmed) || trimmed.contains(u'|'))
        return std::nullopt;
    if (looksLikeContextualPhrase(trimmed) || containsPunctuationOrSymbols(trimmed))
        return std::nullopt;
    const qsizetype length = textkit::graphemeCount(trimmed);
    if (length > maximumHotwordLength || !isWordLikeToken(trimmed))
        return std::nullopt;
    if (stopTerms().contains(keyOf(trimmed)))
        return std::nullopt;
    // A lone ASCII letter or digit says nothing to the recogniser.
    if (textkit::isAscii(trimmed) && length <= 1)
        return std::nullopt;
    return trimmed;
}

bool isShareableASCIITerm(QStringView term, bool allowLooseLowercase) {
    if (englishStopTerms().contains(keyOf(term)))
        return false;
    const qsizetype length = textkit::graphemeCount(term);
    if (length <= 1)
        return false;
    const auto scalars = textkit::codePoints(term);
    if (std::any_of(scalars.begin(), scalars.end(), [](char32_t scalar) {
            return textkit::isUppercase(scalar) || textkit::isDecimalDigit(scalar);
        })) {
        return true;
    }
    return allowLooseLowercase && length > 3;
}

bool isShareableChineseTerm(QStringView term) {
    const QString key = keyOf(term);
    if (key.isEmpty() || stopTerms().contains(key) || exactRejectedChinesePhrases().contains(key))
        return false;
    const auto boundaries = textkit::graphemeBoundaries(term);
    const auto length = static_cast<qsizetype>(boundaries.size()) - 1;
    if (length < 2 || length > 12)
        return false;
    if (beginsWithAny(term, bannedChinesePrefixes) || endsWithAny(term, bannedChineseSuffixes))
        return false;
    if (hasRepeatedFourCharacterPattern(term))
        return false;
    if (length == 4) {
        const auto character = [&](size_t index) {
            return term.sliced(boundaries[index], boundaries[index + 1] - boundaries[index])
                .toString();
        };
        const auto &function = fourCharacterFunctionCharacters();
        if (function.contains(character(1)) || function.contains(character(2)))
            return false;
    }
    return true;
}

bool isShareableHotword(QStringView term, bool allowLooseLowercaseASCII) {
    const auto scalars = textkit::codePoints(term);
    if (std::all_of(scalars.begin(), scalars.end(), [](char32_t scalar) {
            return textkit::numericType(scalar) != textkit::NumericType::None;
        })) {
        return false; // all numeric, or empty
    }
    const bool anyAscii = std::any_of(scalars.begin(), scalars.end(), isAsciiScalar);
    const bool allAscii = std::all_of(scalars.begin(), scalars.end(), isAsciiScalar);
    if (allAscii)
        return isShareableASCIITerm(term, allowLooseLowercaseASCII);
    if (!anyAscii)
        return isShareableChineseTerm(term);
    return !exactRejectedChinesePhrases().contains(keyOf(term));
}

std::optional<QString> sharedGlossaryEligibleHotword(QStringView term) {
    auto hotword = cloudCompatibleHotword(term);
    if (!hotword || !isShareableHotword(*hotword, true))
        return std::nullopt;
    return hotword;
}

bool looksLikeGenericHistoryTerm(QStringView term) {
    return genericHistoryTerms().contains(keyOf(term));
}

std::optional<QString> historyLearnableHotword(QStringView term) {
    auto cleaned = sanitizeAutoLearnedTerm(term);
    if (!cleaned || containsWhitespace(*cleaned))
        return std::nullopt;
    if (!isShareableHotword(*cleaned, false) || looksLikeGenericHistoryTerm(*cleaned))
        return std::nullopt;
    return cleaned;
}

std::optional<ReplacementPair> cloudCompatibleReplacementPair(QStringView source,
                                                              QStringView target) {
    auto cleanedSource = sanitizeAutoLearnedTerm(source);
    auto cleanedTarget = sanitizeAutoLearnedTerm(target);
    if (!cleanedSource || !cleanedTarget || keyOf(*cleanedSource) == keyOf(*cleanedTarget))
        return std::nullopt;
    return ReplacementPair{std::move(*cleanedSource), std::move(*cleanedTarget)};
}

bool isAutoLearnableReplacementPair(QStringView source, QStringView target) {
    const auto cleanedSource = sanitizeAutoLearnedTerm(source);
    const auto cleanedTarget = sanitizeAutoLearnedTerm(target);
    if (!cleanedSource || !cleanedTarget)
        return false;
    if (looksLikeContextualPhrase(*cleanedSource) || looksLikeContextualPhrase(*cleanedTarget))
        return false;
    // "XYZ 模型" learned from an edit is usually a spacing slip, not a term.
    if (containsWhitespace(*cleanedSource) && hasAsciiAndNonAscii(*cleanedSource))
        return false;
    return keyOf(*cleanedSource) != keyOf(*cleanedTarget);
}

bool shouldPrefer(const PersonalLexiconEntry &candidate, const PersonalLexiconEntry *existing) {
    if (!existing)
        return true;
    if (candidate.enabled != existing->enabled)
        return candidate.enabled;
    if (candidate.hitCount != existing->hitCount)
        return candidate.hitCount > existing->hitCount;
    return candidate.updatedAt > existing->updatedAt;
}

} // namespace tovalit::LexiconTermValidator
