#pragma once

#include "models/natural_formatting_context.h"
#include "services/text_processing/natural_mode_stage.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <optional>
#include <variant>

namespace tovalit {

// What one formatter request is for: a natural-mode rewrite of a dictation,
// one tick of the live meeting summary, or the final meeting minutes.
class StructuredFormattingTask {
public:
    struct Natural {
        NaturalModeStage stage;
        // Absent when nothing could be captured about the focused input.
        std::optional<NaturalFormattingContext> context;

        bool operator==(const Natural &) const = default;
    };

    // One tick of the meeting tree; the transcript handed to the formatter
    // alongside carries the pending window of new text.
    struct MeetingIncremental {
        int tickIndex = 0;
        QString rangeLabel;
        QStringList previousStages;
        QString currentStageTitle;
        QString currentStageOutline;
        QStringList currentStageModules;
        int currentStageTextModuleCount = 0;
        QString recentContext;
        int pendingSeconds = 0;
        bool mustDecide = false;
        bool mustLandStage = false;
        QStringList speakerHints;

        bool operator==(const MeetingIncremental &) const = default;
    };

    // The minutes of a whole meeting; the transcript is the full raw text.
    struct MeetingFinal {
        bool operator==(const MeetingFinal &) const = default;
    };

    static StructuredFormattingTask natural(NaturalModeStage stage,
                                            std::optional<NaturalFormattingContext> context);
    static StructuredFormattingTask meetingIncremental(MeetingIncremental tick);
    static StructuredFormattingTask meetingFinal();

    // The payload of the case, or null for another case.
    const Natural *asNatural() const { return std::get_if<Natural>(&m_payload); }
    const MeetingIncremental *asMeetingIncremental() const {
        return std::get_if<MeetingIncremental>(&m_payload);
    }
    bool isMeetingFinal() const { return std::holds_alternative<MeetingFinal>(m_payload); }

    // The "max_tokens" of the request.
    int maxTokens() const;
    // Minutes come back as Markdown: no "{" prefill, no answer rendering.
    bool returnsRawMarkdown() const { return isMeetingFinal(); }
    // The request's "thinking" member: reasoning is off for every task.
    QJsonObject thinkingPayload() const;

    bool operator==(const StructuredFormattingTask &) const = default;

private:
    using Payload = std::variant<Natural, MeetingIncremental, MeetingFinal>;
    explicit StructuredFormattingTask(Payload payload)
        : m_payload(std::move(payload)) {}

    Payload m_payload;
};

} // namespace tovalit
