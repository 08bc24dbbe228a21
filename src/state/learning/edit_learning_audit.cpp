// The audit trail of learning from edits: every decision becomes one
// lexicon audit event, with free texts trimmed and shortened so a long
// field or model answer cannot bloat the log.

#include "state/learning/edit_learning.h"
#include "state/learning/edit_learning_host.h"
#include "support/textkit.h"

namespace tovalit {

namespace {

const QString ellipsis = QStringLiteral("...");

QString shortened(const QString &trimmed, qsizetype limit) {
    return textkit::truncated(trimmed, limit, ellipsis);
}

// List elements keep their place: a blank element stays exactly as it was,
// any other is trimmed and shortened.
QString listElement(const QString &text, qsizetype limit) {
    const QString trimmed = textkit::trimmed(text);
    return trimmed.isEmpty() ? text : shortened(trimmed, limit);
}

} // namespace

std::optional<QString> EditLearning::truncatedLexiconAuditText(const std::optional<QString> &text,
                                                               qsizetype limit) {
    if (!text)
        return std::nullopt;
    const QString trimmed = textkit::trimmed(*text);
    if (trimmed.isEmpty())
        return std::nullopt;
    return shortened(trimmed, limit);
}

QList<PersonalLexiconAuditCandidate>
EditLearning::makeLexiconAuditCandidates(const QList<LexiconLearningAICandidate> &candidates) {
    QList<PersonalLexiconAuditCandidate> audited;
    audited.reserve(candidates.size());
    for (const LexiconLearningAICandidate &candidate : candidates) {
        PersonalLexiconAuditCandidate entry;
        entry.kind = rawValue(candidate.kind);
        entry.sourceText = truncatedLexiconAuditText(candidate.sourceText, 80);
        entry.targetText = listElement(candidate.targetText, 80);
        entry.shareable = candidate.shareable;
        entry.reason = truncatedLexiconAuditText(candidate.reason, 120);
        entry.confidence = candidate.confidence;
        audited.append(entry);
    }
    return audited;
}

QStringList EditLearning::makeLexiconAuditTextSamples(const QStringList &texts, qsizetype limit) {
    QStringList samples;
    samples.reserve(texts.size());
    for (const QString &text : texts)
        samples.append(listElement(text, limit));
    return samples;
}

QStringList
EditLearning::makeLexiconAuditReplacementPairs(const QList<ObservedInsertionCorrection> &pairs) {
    QStringList texts;
    texts.reserve(pairs.size());
    for (const ObservedInsertionCorrection &pair : pairs)
        texts.append(listElement(pair.sourceText, 48) + QStringLiteral(" -> ") +
                     listElement(pair.targetText, 48));
    return texts;
}

QStringList EditLearning::makeLexiconAuditTerms(const QStringList &terms) {
    return makeLexiconAuditTextSamples(terms, 48);
}

QCoro::Task<void> EditLearning::recordLexiconAIEvent(const LexiconAIEvent &event) {
    // A plain function, so the event is read before the caller's next step.
    return m_host.recordLexiconAuditEvent(event.auditEvent());
}

PersonalLexiconAuditEvent EditLearning::LexiconAIEvent::auditEvent() const {
    using Model = EditLearning;
    const LexiconAIEvent &source = *this;
    PersonalLexiconAuditEvent event;
    event.action = source.action;
    event.lastErrorMessage = source.errorMessage;
    event.observedSessionID =
        source.session ? std::optional<QUuid>(source.session->sessionID) : source.observedSessionID;
    if (const auto &session = source.session) {
        event.observedOriginalInsertedText =
            Model::truncatedLexiconAuditText(session->originalInsertedText, 160);
        event.observedOriginalFieldText =
            Model::truncatedLexiconAuditText(session->originalFieldText, 240);
        event.observedFinalFieldText =
            Model::truncatedLexiconAuditText(session->finalFieldText, 240);
        event.observedAppName = Model::truncatedLexiconAuditText(session->appName, 80);
        event.observedWindowTitle = Model::truncatedLexiconAuditText(session->windowTitle, 120);
    }
    if (const auto &analysis = source.analysis) {
        event.aiShouldLearn = analysis->shouldLearn;
        event.aiSummary = Model::truncatedLexiconAuditText(analysis->summary, 160);
        event.aiCandidateCount = analysis->candidates.size();
        event.aiNormalizedCandidateCount = analysis->normalizedCandidates().size();
        event.aiCandidates = Model::makeLexiconAuditCandidates(analysis->candidates);
    }
    event.aiRawResponseText = Model::truncatedLexiconAuditText(source.rawResponseText, 1200);
    if (source.jsonCandidates)
        event.aiJSONCandidates = Model::makeLexiconAuditTextSamples(*source.jsonCandidates, 240);
    std::optional<QString> toast = source.toastMessage;
    if (const auto &result = source.result) {
        event.learnedReplacements =
            Model::makeLexiconAuditReplacementPairs(result->learnedReplacements);
        event.learnedHotwords = Model::makeLexiconAuditTerms(result->learnedHotwords);
        event.promotedBoostTerms = Model::makeLexiconAuditTerms(result->promotedBoostTerms);
        if (!toast)
            toast = result->toastMessage;
    }
    event.toastMessage = Model::truncatedLexiconAuditText(toast, 160);
    event.skipReason = source.skipReason;
    return event;
}

} // namespace tovalit
