#pragma once

#include "models/personal_lexicon_snapshot.h"
#include "models/vellup_speech_lexicon_configuration.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// Turns the stored lexicon into what leaves it: the hot words and
// replacements that take effect, the lexicon part of every recognition
// request, and the lines uploaded into the remote tables. Pure functions.
namespace tovalit::PersonalLexiconCompiler {

inline constexpr QStringView hotwordTableNamePrefix = u"tovalit-personal-hotwords-";
inline constexpr QStringView replacementTableNamePrefix = u"tovalit-personal-replacements-";

// Enabled, non-candidate boost hot words the service accepts, one per key,
// most used first.
QList<PersonalLexiconEntry> makeHotwords(const QList<PersonalLexiconEntry> &entries);
// Enabled replace-channel replacements with an acceptable pair, one per
// source key, in the order they are applied: longest source first.
QList<PersonalLexiconEntry> makeReplacementEntries(const QList<PersonalLexiconEntry> &entries);
// None when the lexicon has nothing to send.
std::optional<VellupSpeechLexiconConfiguration>
makeSpeechConfiguration(const PersonalLexiconSnapshot &snapshot);
// "term|weight" per compiled hot word.
QStringList makeHotwordFileLines(const QList<PersonalLexiconEntry> &entries);
// "source|target" per compiled replacement, in the cleaned form.
QStringList makeReplacementFileLines(const QList<PersonalLexiconEntry> &entries);
// The hit count clamped to 4…10.
qint64 hotwordWeight(qint64 hitCount);

// The names this lexicon's remote tables must have, from its namespace.
QString expectedHotwordTableName(const PersonalLexiconCloudState &cloudState);
QString expectedReplacementTableName(const PersonalLexiconCloudState &cloudState);
// The stored table name, trimmed, when it is the expected one; else none.
std::optional<QString> validatedHotwordTableName(const PersonalLexiconCloudState &cloudState);
std::optional<QString> validatedReplacementTableName(const PersonalLexiconCloudState &cloudState);

} // namespace tovalit::PersonalLexiconCompiler
