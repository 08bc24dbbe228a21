#include "services/learning/lexicon_learning_candidate_kind.h"

namespace tovalit {

QString rawValue(LexiconLearningCandidateKind kind) {
    switch (kind) {
    case LexiconLearningCandidateKind::replacement:
        return QStringLiteral("replacement");
    case LexiconLearningCandidateKind::hotword:
        return QStringLiteral("hotword");
    }
    return {};
}

bool fromRawValue(QStringView rawValue, LexiconLearningCandidateKind &value) {
    if (rawValue == u"replacement") {
        value = LexiconLearningCandidateKind::replacement;
        return true;
    }
    if (rawValue == u"hotword") {
        value = LexiconLearningCandidateKind::hotword;
        return true;
    }
    return false;
}

} // namespace tovalit
