// The lexicon-learning reply: envelope, then the JSON recovery that digs an
// analysis out of fenced, prefixed, truncated or comma-ridden answers. An
// analysis that decodes must decode again, unchanged, from its own JSON.

#include "fuzz_checks.h"
#include "services/learning/lexicon_learning_ai_analysis.h"
#include "services/learning/lexicon_learning_ai_service.h"
#include "support/app_error.h"
#include "support/json_text.h"

#include <QSet>

using namespace tovalit;

namespace {

void checkAnalysis(const LexiconLearningAIAnalysis &analysis) {
    const QJsonObject json = analysis.toJson();
    fuzz::requireValidUtf16(QJsonValue(json), "analysis");
    const auto again = LexiconLearningAIAnalysis::decode(json::compact(json));
    FUZZ_CHECK(again && *again == analysis);
    for (const LexiconLearningAICandidate &candidate : analysis.normalizedCandidates()) {
        fuzz::requireValidUtf16(QJsonValue(candidate.toJson()), "normalized candidate");
        FUZZ_CHECK(!candidate.confidence ||
                   *candidate.confidence >= LexiconLearningAIAnalysis::minimumConfidence);
    }
}

void checkRecovery(const QString &content) {
    fuzz::requireValidUtf16(LexiconLearningAIService::normalizedJSONEnvelopeText(content),
                            "envelope text");
    fuzz::requireValidUtf16(LexiconLearningAIService::balanceJSONObjectCandidate(content),
                            "balanced candidate");
    const QStringList candidates = LexiconLearningAIService::analysisJSONCandidates(content);
    fuzz::requireValidUtf16(candidates, "JSON candidate");
    FUZZ_CHECK(QSet<QString>(candidates.begin(), candidates.end()).size() == candidates.size());
    for (const QString &candidate : candidates) {
        if (const auto analysis = LexiconLearningAIService::tryDecodeAnalysis(candidate)) {
            checkAnalysis(*analysis);
            break; // the service takes the first that decodes
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray body = fuzz::bytes(data, size);
    if (const auto resetAt = LexiconLearningAIService::parseResetAt(body))
        FUZZ_CHECK(resetAt->isValid());
    if (const auto analysis = LexiconLearningAIAnalysis::decode(body))
        checkAnalysis(*analysis);
    checkRecovery(QString::fromUtf8(body));
    QString content;
    try {
        content = LexiconLearningAIService::extractAssistantContent(body);
    } catch (const AppError &) {
        return 0;
    }
    fuzz::requireValidUtf16(content, "assistant content");
    checkRecovery(content);
    return 0;
}
