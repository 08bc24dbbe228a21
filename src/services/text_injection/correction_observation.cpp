#include "services/text_injection/correction_observation.h"

#include "platform/accessibility_client.h"
#include "platform/accessibility_thread.h"
#include "services/text_injection/focused_input_field_operations.h"

namespace tovalit {

namespace {

// Jobs are made outside the coroutine: GCC 12 miscompiles capturing
// lambdas inside coroutine bodies.
QCoro::Task<std::optional<qint32>>
readProcessIdentifier(std::shared_ptr<AccessibilityClient> client,
                      AccessibilityElementRef element) {
    return client->thread().run(
        [element] { return FocusedInputFieldOperations::processIdentifier(*element); });
}

QCoro::Task<std::optional<QString>> readObservedValue(std::shared_ptr<AccessibilityClient> client,
                                                      AccessibilityElementRef element,
                                                      std::optional<qint32> processID) {
    AccessibilityThread &thread = client->thread();
    return thread.run([client = std::move(client), element, processID] {
        return FocusedInputFieldOperations::observedStringValue(*client, *element, processID);
    });
}

} // namespace

CorrectionObservation::CorrectionObservation(CorrectionObservationContext context, Timing timing)
    : m_context(std::move(context))
    , m_timing(timing) {}

std::optional<ObservedInsertionEditEvent>
CorrectionObservation::observe(const std::optional<QString> &value, double now) {
    if (!value)
        return std::nullopt;
    if (*value == m_context.insertedValue) {
        ++m_untouchedPolls;
        m_lastChangeTime.reset();
        m_lastObservedValue.reset();
        if (!m_seenEdit) {
            if (m_untouchedPolls >= m_timing.noChangeStopCount)
                m_finished = true;
            return std::nullopt;
        }
        // An edit undone before it was reported goes unreported.
        if (!m_lastReportedValue)
            return std::nullopt;
        m_lastReportedValue.reset();
        return ObservedInsertionEditEvent::revertedToOriginal(m_context.sessionID);
    }
    m_seenEdit = true;
    m_untouchedPolls = 0;
    if (!m_lastObservedValue || *value != *m_lastObservedValue) {
        m_lastObservedValue = value;
        m_lastChangeTime = now;
        return std::nullopt;
    }
    if (!m_lastChangeTime || now - *m_lastChangeTime < m_timing.idleThreshold ||
        value == m_lastReportedValue)
        return std::nullopt;
    m_lastReportedValue = value;
    m_lastChangeTime.reset();
    return ObservedInsertionEditEvent::stableEdited(ObservedInsertionEditSession{
        m_context.sessionID, m_context.insertedText, m_context.insertedValue, *value,
        m_context.appName, m_context.windowTitle});
}

QCoro::Task<void> CorrectionObservation::run(std::shared_ptr<AccessibilityClient> client,
                                             Sleeper sleeper, MonotonicClock clock,
                                             CorrectionObservationContext context, Timing timing,
                                             ObservedInsertionEditCallback onObservedEditEvent,
                                             CancelToken stop) {
    // The client keeps the accessibility thread running for as long as we
    // hold it, so these reads always get an answer.
    context.processID = co_await readProcessIdentifier(client, context.element);
    CorrectionObservation observation(context, timing);
    for (int poll = 0; poll < timing.maxPollCount; ++poll) {
        co_await sleeper(timing.pollingInterval, stop);
        if (stop.isCancelled())
            co_return;
        const std::optional<QString> value =
            co_await readObservedValue(client, context.element, context.processID);
        if (stop.isCancelled())
            co_return;
        const std::optional<ObservedInsertionEditEvent> event = observation.observe(value, clock());
        if (event)
            onObservedEditEvent(*event);
        if (observation.isFinished())
            co_return;
    }
}

} // namespace tovalit
