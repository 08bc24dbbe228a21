#pragma once

#include "models/observed_insertion_edit_event.h"
#include "models/recording_state.h"

#include <QDateTime>
#include <QString>
#include <qcoro/qcorotask.h>

#include <optional>

namespace tovalit {

// What formatting and delivery need of the controller that owns them.
class DictationDeliveryHost {
public:
    virtual ~DictationDeliveryHost() = default;

    // Typing into the focused input is a step of the published state.
    virtual void setRecordingState(RecordingState value) = 0;
    // Every copy, and every delivery that ends on the clipboard, is shown
    // as the time of the last copy.
    virtual void setLastCopiedAt(std::optional<QDateTime> value) = 0;
    // The confirmation of a copy the user asked for.
    virtual void showAppToast(const QString &message, bool isError, double duration) = 0;
    // A formatted text names the formatting in the session's engine note.
    virtual void setEngineStatusNote(QString note) = 0;
    // What the user changed in a delivered text after its insertion, for
    // learning from their edits.
    virtual QCoro::Task<void> handleObservedInsertionEdit(ObservedInsertionEditEvent event) = 0;
};

} // namespace tovalit
