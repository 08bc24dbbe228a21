#include "services/speech/vellup_streaming_request.h"

#include "support/textkit.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSysInfo>

namespace tovalit::vellupstream {

namespace {

bool hasText(const std::optional<QString> &value) {
    return value && !value->isEmpty();
}

// PRETTY_HOSTNAME from systemd's machine-info, the closest thing Linux has
// to a computer name chosen for people. Values may be quoted.
QString prettyHostName() {
    QFile file(QStringLiteral("/etc/machine-info"));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (!line.startsWith(QLatin1String("PRETTY_HOSTNAME=")))
            continue;
        QString value = line.mid(int(qstrlen("PRETTY_HOSTNAME=")));
        if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
            value.back() == value.front())
            value = value.mid(1, value.size() - 2);
        return textkit::trimmed(value);
    }
    return {};
}

} // namespace

QJsonObject initialRequestPayload(const QString &requestID,
                                  const std::optional<VellupSpeechLexiconConfiguration> &lexicon,
                                  const QString &userID) {
    const QJsonObject user{
        {QStringLiteral("uid"), userID},
        {QStringLiteral("platform"), QStringLiteral("macOS")},
        {QStringLiteral("sdk_version"), QStringLiteral("1.0")},
        {QStringLiteral("app_version"), QStringLiteral("1.0.0")},
    };
    const QJsonObject audio{
        {QStringLiteral("format"), QStringLiteral("pcm")},
        {QStringLiteral("codec"), QStringLiteral("raw")},
        {QStringLiteral("rate"), 16000},
        {QStringLiteral("bits"), 16},
        {QStringLiteral("channel"), 1},
    };
    QJsonObject request{
        {QStringLiteral("reqid"), requestID},
        {QStringLiteral("model_name"), QStringLiteral("bigmodel")},
        {QStringLiteral("enable_itn"), true},
        {QStringLiteral("enable_punc"), true},
        {QStringLiteral("enable_ddc"), true},
        {QStringLiteral("result_type"), QStringLiteral("full")},
        {QStringLiteral("enable_nonstream"), true},
        {QStringLiteral("show_utterances"), true},
    };
    if (auto corpus = requestCorpus(lexicon))
        request.insert(QStringLiteral("corpus"), *corpus);
    return QJsonObject{
        {QStringLiteral("user"), user},
        {QStringLiteral("audio"), audio},
        {QStringLiteral("request"), request},
    };
}

std::optional<QJsonObject>
requestCorpus(const std::optional<VellupSpeechLexiconConfiguration> &lexicon) {
    if (!lexicon)
        return std::nullopt;
    QJsonObject corpus;
    if (hasText(lexicon->boostingTableID))
        corpus.insert(QStringLiteral("boosting_table_id"), *lexicon->boostingTableID);
    else if (hasText(lexicon->boostingTableName))
        corpus.insert(QStringLiteral("boosting_table_name"), *lexicon->boostingTableName);
    if (hasText(lexicon->correctTableID))
        corpus.insert(QStringLiteral("correct_table_id"), *lexicon->correctTableID);
    else if (hasText(lexicon->correctTableName))
        corpus.insert(QStringLiteral("correct_table_name"), *lexicon->correctTableName);
    if (auto context = inlineHotwordContext(lexicon->inlineHotwords))
        corpus.insert(QStringLiteral("context"), *context);
    if (corpus.isEmpty())
        return std::nullopt;
    return corpus;
}

std::optional<QString> inlineHotwordContext(const QStringList &words) {
    if (words.isEmpty())
        return std::nullopt;
    QJsonArray hotwords;
    for (const QString &word : words)
        hotwords.append(QJsonObject{{QStringLiteral("word"), word}});
    const QJsonObject context{{QStringLiteral("hotwords"), hotwords}};
    return QString::fromUtf8(QJsonDocument(context).toJson(QJsonDocument::Compact));
}

QString localHostDisplayName() {
    QString name = prettyHostName();
    if (name.isEmpty())
        name = textkit::trimmed(QSysInfo::machineHostName());
    return name.isEmpty() ? QStringLiteral("mac-transcriber") : name;
}

} // namespace tovalit::vellupstream
