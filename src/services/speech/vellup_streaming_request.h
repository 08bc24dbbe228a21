#pragma once

#include "models/vellup_speech_lexicon_configuration.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <optional>

// The JSON of the full client request that opens a recognition stream.
namespace tovalit::vellupstream {

// {"user":…, "audio":…, "request":…} for one request id (lower-case UUID),
// with "corpus" only when the lexicon gives it a value. `userID` is the
// "uid" (see localHostDisplayName()).
QJsonObject initialRequestPayload(const QString &requestID,
                                  const std::optional<VellupSpeechLexiconConfiguration> &lexicon,
                                  const QString &userID);

// The request's "corpus": the hot-word and correction tables (an identifier
// wins over a name) and the inline hot words as a JSON text. Nothing when
// there is no lexicon or none of the keys gets a value.
std::optional<QJsonObject>
requestCorpus(const std::optional<VellupSpeechLexiconConfiguration> &lexicon);

// {"hotwords":[{"word":"…"},…]} as compact JSON text; nothing for no words.
std::optional<QString> inlineHotwordContext(const QStringList &words);

// The name this computer shows to people: the pretty host name when one is
// set, else the host name, else "mac-transcriber".
QString localHostDisplayName();

} // namespace tovalit::vellupstream
