#include "services/text_processing/transcript_cleanup_service.h"

#include "support/regex.h"
#include "support/textkit.h"

#include <algorithm>
#include <iterator>
#include <unicode/uchar.h>

namespace tovalit {

using textkit::Regex;

namespace {

// The ideographs the cleanup treats as Chinese: the unified block only, so
// that extension blocks and compatibility forms count as other letters.
bool isCjkIdeograph(char32_t codePoint) {
    return codePoint >= 0x4E00 && codePoint <= 0x9FFF;
}

// Letters as the platform's letter set has them: general categories L* and
// M* (combining marks belong to the letter they sit on).
bool isLetter(char32_t codePoint) {
    return (U_GET_GC_MASK(static_cast<UChar32>(codePoint)) & (U_GC_L_MASK | U_GC_M_MASK)) != 0;
}

const Regex &whitespacePattern() {
    static const Regex pattern(uR"re(\s+)re");
    return pattern;
}

const Regex &fillerPattern() {
    static const Regex pattern(
        uR"re((^|[\s，。！？,.!?])(嗯+|呃+|啊+|额+)(?=($|[\s，。！？,.!?])))re");
    return pattern;
}

const Regex &punctuationRunPattern() {
    static const Regex pattern(uR"re(([，。！？,.!?])\s*([，。！？,.!?])+)re");
    return pattern;
}

const Regex &doubleSpacePattern() {
    static const Regex pattern(uR"re(\s{2,})re");
    return pattern;
}

const Regex &ideographGapPattern() {
    static const Regex pattern(uR"re((?<=[\x{4E00}-\x{9FFF}])\s+(?=[\x{4E00}-\x{9FFF}]))re");
    return pattern;
}

} // namespace

QString TranscriptCleanupService::clean(QStringView text) const {
    const QString trimmedText = textkit::trimmed(text);
    if (trimmedText.isEmpty())
        return {};
    const QString oneLine = whitespacePattern().replaceAllLiteral(trimmedText, u" ");
    const QString withoutFillers = removeStandaloneFillers(oneLine);
    const QString normalized = normalizePunctuation(withoutFillers);
    return ensureSentenceEnding(normalized);
}

QString TranscriptCleanupService::removeStandaloneFillers(QStringView text) {
    QString result = fillerPattern().replaceAll(text, u"$1");
    result = punctuationRunPattern().replaceAll(result, u"$1");
    result = doubleSpacePattern().replaceAllLiteral(result, u" ");
    return textkit::trimmed(result);
}

QString TranscriptCleanupService::normalizePunctuation(QStringView text) {
    qsizetype ideographs = 0;
    qsizetype otherLetters = 0;
    for (const char32_t codePoint : textkit::codePoints(text)) {
        if (isCjkIdeograph(codePoint))
            ++ideographs;
        else if (isLetter(codePoint))
            ++otherLetters;
    }
    if (ideographs < otherLetters)
        return text.toString();

    QString result = text.toString();
    result.replace(u',', u'，');
    result.replace(u'?', u'？');
    result.replace(u'!', u'！');
    return ideographGapPattern().replaceAllLiteral(result, u"");
}

QString TranscriptCleanupService::ensureSentenceEnding(QStringView text) {
    if (text.isEmpty())
        return {};
    const QString last = textkit::graphemeSuffix(text, 1);
    static constexpr QStringView endings[] = {u"。", u"！", u"？", u".", u"!", u"?"};
    if (std::find(std::begin(endings), std::end(endings), last) != std::end(endings))
        return text.toString();
    const auto points = textkit::codePoints(last);
    const bool allIdeographs = std::all_of(points.begin(), points.end(), isCjkIdeograph);
    return text.toString() + QStringView(allIdeographs ? u"。" : u".");
}

} // namespace tovalit
