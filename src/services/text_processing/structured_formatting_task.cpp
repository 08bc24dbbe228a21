#include "services/text_processing/structured_formatting_task.h"

namespace tovalit {

StructuredFormattingTask
StructuredFormattingTask::natural(NaturalModeStage stage,
                                  std::optional<NaturalFormattingContext> context) {
    return StructuredFormattingTask(Natural{stage, std::move(context)});
}

StructuredFormattingTask StructuredFormattingTask::meetingIncremental(MeetingIncremental tick) {
    return StructuredFormattingTask(std::move(tick));
}

StructuredFormattingTask StructuredFormattingTask::meetingFinal() {
    return StructuredFormattingTask(MeetingFinal{});
}

int StructuredFormattingTask::maxTokens() const {
    if (const auto *task = asNatural())
        return task->stage.maxTokens();
    if (asMeetingIncremental())
        return 1280;
    return 4096;
}

QJsonObject StructuredFormattingTask::thinkingPayload() const {
    return QJsonObject{{QStringLiteral("type"), QStringLiteral("disabled")}};
}

} // namespace tovalit
