// The history term extractor's reply: envelope, then the {"terms": [...]}
// object in the answer. What it accepts is at most six distinct learnable
// terms, and those same terms are accepted again as they are.

#include "fuzz_checks.h"
#include "models/personal_lexicon_entry.h"
#include "services/learning/vellup_history_term_extractor.h"
#include "support/app_error.h"
#include "support/json_text.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QSet>

using namespace tovalit;

namespace {

void checkTerms(const QString &content) {
    QStringList terms;
    try {
        terms = VellupHistoryTermExtractor::parseTerms(content);
    } catch (const AppError &) {
        return; // invalidJSON
    }
    fuzz::requireValidUtf16(terms, "term");
    FUZZ_CHECK(terms.size() <= VellupHistoryTermExtractor::maximumTerms);
    QSet<QString> keys;
    for (const QString &term : terms)
        keys.insert(PersonalLexiconEntry::normalizedValue(term));
    FUZZ_CHECK(keys.size() == terms.size());
    const QString again = QString::fromUtf8(
        json::compact(QJsonObject{{QStringLiteral("terms"), QJsonArray::fromStringList(terms)}}));
    FUZZ_CHECK_TEXT(VellupHistoryTermExtractor::parseTerms(again) == terms, again);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray body = fuzz::bytes(data, size);
    checkTerms(QString::fromUtf8(body));
    QString content;
    try {
        content = VellupHistoryTermExtractor::extractAssistantContent(body);
    } catch (const AppError &) {
        return 0;
    }
    fuzz::requireValidUtf16(content, "assistant content");
    checkTerms(content);
    return 0;
}
