#include "services/instructions/instruction_intent_recognizer.h"

#include "support/textkit.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <vector>

namespace tovalit {

namespace {

// The trimmed transcript with what every phrase test needs of it.
struct Subject {
    explicit Subject(QStringView transcript)
        : text(textkit::trimmed(transcript))
        , key(InstructionLibraryEntry::normalizedValue(text))
        , boundaries(textkit::graphemeBoundaries(text)) {}

    qsizetype characterCount() const { return qsizetype(boundaries.size()) - 1; }

    QString text;
    QString key;
    std::vector<qsizetype> boundaries;
};

bool isDelimiter(char32_t codePoint) {
    static constexpr std::u32string_view punctuation = U"，,:：。；;、";
    return textkit::isWhitespace(codePoint) || punctuation.find(codePoint) != punctuation.npos;
}

char32_t codePointAt(QStringView text, qsizetype index, qsizetype &length) {
    const QChar first = text[index];
    if (first.isHighSurrogate() && index + 1 < text.size() && text[index + 1].isLowSurrogate()) {
        length = 2;
        return QChar::surrogateToUcs4(first, text[index + 1]);
    }
    length = 1;
    return first.unicode();
}

QString trimmedOfDelimiters(QStringView text) {
    qsizetype start = 0;
    qsizetype length = 0;
    while (start < text.size() && isDelimiter(codePointAt(text, start, length)))
        start += length;
    qsizetype end = text.size();
    while (end > start) {
        // A low surrogate at the end belongs to the code point before it.
        const qsizetype last =
            (end - 2 >= start && text[end - 1].isLowSurrogate() && text[end - 2].isHighSurrogate())
                ? end - 2
                : end - 1;
        if (!isDelimiter(codePointAt(text, last, length)))
            break;
        end = last;
    }
    return text.sliced(start, end - start).toString();
}

qsizetype characterCount(const QString &text) {
    return textkit::graphemeCount(text);
}

// The text after `phrase` at the start of the subject, or nothing when the
// subject does not start with it. The cut is the phrase's length in
// characters, so it takes the subject's own spelling of the phrase whatever
// its width, case or accents. White space around a phrase from a
// hand-edited file was never spoken, so it does not lengthen the cut.
std::optional<QString> remainderIfMatched(const QString &phrase, const Subject &subject) {
    const QString key = InstructionLibraryEntry::normalizedValue(phrase);
    // A phrase with nothing left to say (an empty or blank one from a
    // hand-edited file) would start every text and swallow every dictation.
    if (key.isEmpty() || !subject.key.startsWith(key))
        return std::nullopt;
    const qsizetype length = characterCount(textkit::trimmed(phrase));
    if (subject.characterCount() < length)
        return std::nullopt;
    return trimmedOfDelimiters(QStringView(subject.text).sliced(subject.boundaries[length]));
}

// Longest first; equal lengths keep their order.
QStringList longestFirst(QStringList phrases) {
    std::stable_sort(phrases.begin(), phrases.end(), [](const QString &lhs, const QString &rhs) {
        return characterCount(lhs) > characterCount(rhs);
    });
    return phrases;
}

std::optional<QString> matchCreateIntent(const Subject &subject) {
    static const QStringList phrases = longestFirst(InstructionIntentRecognizer::createPhrases());
    for (const QString &phrase : phrases) {
        auto remainder = remainderIfMatched(phrase, subject);
        if (remainder && !remainder->isEmpty())
            return remainder;
    }
    return std::nullopt;
}

qsizetype longestPhraseLength(const InstructionLibraryEntry &entry) {
    qsizetype longest = 0;
    for (const QString &phrase : entry.displayInvocationPhrases())
        longest = std::max(longest, characterCount(phrase));
    return longest;
}

// The entry whose longest phrase is longer goes first, so a specific phrase
// ("帮我翻译成英文") wins over a short one that is its prefix ("翻译"); on a
// tie the user's own entry wins over a built-in; then titles in list order.
struct Candidate {
    const InstructionLibraryEntry *entry;
    qsizetype longestPhrase;
};

bool compareEntryPriority(const Candidate &lhs, const Candidate &rhs) {
    if (lhs.longestPhrase != rhs.longestPhrase)
        return lhs.longestPhrase > rhs.longestPhrase;
    if (lhs.entry->source != rhs.entry->source)
        return lhs.entry->source == InstructionLibraryEntrySource::custom;
    return textkit::localizedStandardCompare(lhs.entry->title, rhs.entry->title) < 0;
}

} // namespace

const QStringList &InstructionIntentRecognizer::createPhrases() {
    static const QStringList phrases{
        QStringLiteral("帮我创建一个指令"), QStringLiteral("帮我建一个指令"),
        QStringLiteral("创建一个指令"),     QStringLiteral("新建一个指令"),
        QStringLiteral("帮我新增一个指令"), QStringLiteral("保存成指令"),
    };
    return phrases;
}

InstructionIntentMatch
InstructionIntentRecognizer::resolveIntent(QStringView transcript,
                                           const QList<InstructionLibraryEntry> &availableEntries) {
    const Subject subject(transcript);
    if (subject.text.isEmpty())
        return InstructionIntentMatch::none();

    if (auto description = matchCreateIntent(subject))
        return InstructionIntentMatch::create(std::move(*description));

    std::vector<Candidate> candidates;
    for (const InstructionLibraryEntry &entry : availableEntries) {
        if (entry.enabled)
            candidates.push_back({&entry, longestPhraseLength(entry)});
    }
    std::stable_sort(candidates.begin(), candidates.end(), compareEntryPriority);

    for (const Candidate &candidate : candidates) {
        for (const QString &phrase : longestFirst(candidate.entry->displayInvocationPhrases())) {
            auto remainder = remainderIfMatched(phrase, subject);
            if (remainder && !remainder->isEmpty())
                return InstructionIntentMatch::run(*candidate.entry, std::move(*remainder), phrase);
        }
    }
    return InstructionIntentMatch::none();
}

} // namespace tovalit
