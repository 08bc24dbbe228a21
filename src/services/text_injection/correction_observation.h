#pragma once

#include "models/observed_insertion_edit_event.h"
#include "platform/accessibility_element.h"
#include "support/clock.h"
#include "support/sleeper.h"

#include <QString>
#include <QUuid>
#include <qcoro/qcorotask.h>

#include <memory>
#include <optional>

namespace tovalit {

class AccessibilityClient;

// Everything one watch over an inserted text needs, fixed when it starts.
struct CorrectionObservationContext {
    // Carried by every event of this watch.
    QUuid sessionID;
    AccessibilityElementRef element;
    // The owner of `element`; its focused element stands in when `element`
    // can no longer be read.
    std::optional<qint32> processID;
    QString insertedText;
    // The field's whole text right after the insertion.
    QString insertedValue;
    std::optional<QString> appName;
    std::optional<QString> windowTitle;
};

// Watches a field after we inserted text into it, so that the lexicon can
// learn from the user's own corrections: once an edit has rested it is
// reported with the field's text before and after; when the field later
// holds the inserted text again, that is reported too.
class CorrectionObservation {
public:
    struct Timing {
        double pollingInterval = 0;
        double idleThreshold = 0;
        int maxPollCount = 0;
        int noChangeStopCount = 0;
    };

    CorrectionObservation(CorrectionObservationContext context, Timing timing);

    // Takes one poll's reading (nothing when the field could not be read)
    // at `now` (seconds of a monotonic clock); gives the event to report.
    std::optional<ObservedInsertionEditEvent> observe(const std::optional<QString> &value,
                                                      double now);
    // True once a field nobody touched has been given up.
    bool isFinished() const { return m_finished; }

    // Polls the field until the watch ends: a pause before every poll, at
    // most maxPollCount polls, and none once `stop` is cancelled. Reads run
    // on the accessibility thread; the callback is called from the thread
    // this runs on.
    static QCoro::Task<void> run(std::shared_ptr<AccessibilityClient> client, Sleeper sleeper,
                                 MonotonicClock clock, CorrectionObservationContext context,
                                 Timing timing, ObservedInsertionEditCallback onObservedEditEvent,
                                 CancelToken stop);

private:
    CorrectionObservationContext m_context;
    Timing m_timing;
    std::optional<QString> m_lastObservedValue;
    std::optional<double> m_lastChangeTime;
    std::optional<QString> m_lastReportedValue;
    bool m_seenEdit = false;
    int m_untouchedPolls = 0;
    bool m_finished = false;
};

} // namespace tovalit
