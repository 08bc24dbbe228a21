// The minutes that end a meeting: written by the language model from the
// whole transcript, or, when that fails, from the live summary tree (or
// the cleaned transcript when there is no tree), with a note saying so.

#include "services/meeting/meeting_local_minutes.h"
#include "state/meeting/meeting_mode.h"
#include "state/meeting/meeting_mode_host.h"
#include "state/shared/floating_panel_coordinating.h"
#include "state/shared/gateway_session_recovery.h"
#include "support/textkit.h"

#include <QPointer>

namespace tovalit {

QCoro::Task<FormattedText>
MeetingMode::formatMeetingFinalSummary(QString rawTranscript, QString normalizedTranscript) {
    QString source = textkit::trimmed(normalizedTranscript);
    if (source.isEmpty())
        source = textkit::trimmed(rawTranscript);
    if (source.isEmpty())
        co_return FormattedText{QString(), std::nullopt};
    m_floatingPanelCoordinator->showThinking(QStringLiteral("纪要生成中"), QString());
    // The application may quit while the model writes; the stop that asked
    // is gone too then.
    const QPointer<MeetingMode> self(this);

    // The configuration of the last attempt, for the failure note: a retry
    // after a gateway recovery replaces it.
    auto usedConfiguration =
        std::make_shared<std::optional<VellupStructuredFormatterConfiguration>>();
    GatewaySessionRecovery::FormatterOperation<QString> operation =
        [this, usedConfiguration, source](VellupStructuredFormatterConfiguration c) {
            *usedConfiguration = c;
            return m_structuredFormattingRunner(source, StructuredFormattingTask::meetingFinal(),
                                                std::move(c));
        };
    GatewaySessionRecovery::FormatterResult<QString> formatted;
    std::exception_ptr failure;
    try {
        formatted = co_await m_gatewayRecovery.performFormatterOperation(std::move(operation));
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self)
        co_return FormattedText{source, std::nullopt};

    if (failure) {
        co_return FormattedText{
            fallbackMeetingSummary(source),
            QStringLiteral("纪要整理失败（") + m_host.describeFormatterTarget(*usedConfiguration) +
                QStringLiteral("）：") + m_host.presentableGatewayFailureMessage(failure)};
    }
    if (!formatted) {
        co_return FormattedText{fallbackMeetingSummary(source),
                          QStringLiteral("纪要配置不可用，已使用实时总结模板")};
    }
    m_host.setEngineStatusNote(QStringLiteral("当前使用Vellup ASR 2.0 + 会议纪要模式"));
    const QString answer = textkit::trimmed(formatted->value);
    if (!answer.isEmpty())
        co_return FormattedText{answer, std::nullopt};
    co_return FormattedText{fallbackMeetingSummary(source),
                      QStringLiteral("模型返回为空，已使用实时总结模板")};
}

QString MeetingMode::fallbackMeetingSummary(const QString &transcript) const {
    const QList<MeetingMinuteBlock> blocks = m_host.meetingBlocks();
    if (!blocks.isEmpty())
        return MeetingLocalMinutes::fromBlocks(blocks);
    const QString cleaned = m_cleanupService.clean(transcript);
    return cleaned.isEmpty() ? transcript : cleaned;
}

} // namespace tovalit
