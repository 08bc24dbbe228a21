#pragma once

#include <QString>
#include <QStringView>

namespace tovalit {

// The rule-based cleanup of a recognised transcript: what the user gets when
// the language model is not configured, fails, or is not trusted. Collapses
// white space, drops standalone Chinese filler syllables, collapses runs of
// punctuation, makes punctuation full width in Chinese-dominated text and
// closes the sentence.
//
// Holds no state; clean() may run on any thread, concurrently with itself.
class TranscriptCleanupService {
public:
    TranscriptCleanupService() = default;

    // The cleaned text; the empty string for blank input. Never fails.
    QString clean(QStringView text) const;

private:
    static QString removeStandaloneFillers(QStringView text);
    static QString normalizePunctuation(QStringView text);
    static QString ensureSentenceEnding(QStringView text);
};

} // namespace tovalit
