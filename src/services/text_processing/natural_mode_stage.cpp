#include "services/text_processing/natural_mode_stage.h"

#include "services/text_processing/natural_mode_prompt_catalog.h"

namespace tovalit {

QString NaturalModeStage::rawValue() const {
    return m_value == shortCleanup ? QStringLiteral("shortCleanup")
                                   : QStringLiteral("mediumCleanup");
}

std::optional<NaturalModeStage> NaturalModeStage::fromRawValue(QStringView rawValue) {
    for (const Value value : allCases()) {
        if (NaturalModeStage(value).rawValue() == rawValue)
            return NaturalModeStage(value);
    }
    return std::nullopt;
}

QString NaturalModeStage::label() const {
    return m_value == shortCleanup ? QStringLiteral("自然直出") : QStringLiteral("轻整理");
}

int NaturalModeStage::maxTokens() const {
    return m_value == shortCleanup ? 320 : 768;
}

NaturalModeStage NaturalModeStage::resolve(double recordingDuration, QStringView transcript) {
    if (recordingDuration > 10.0)
        return mediumCleanup;
    if (NaturalModePromptCatalog::looksLikeListDictation(transcript))
        return mediumCleanup;
    return shortCleanup;
}

} // namespace tovalit
