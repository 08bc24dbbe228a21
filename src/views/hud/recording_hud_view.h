#pragma once

#include "models/hud_resize_handle.h"
#include "models/recording_hud_display_state.h"

#include <QList>
#include <QSizeF>
#include <QWidget>

namespace tovalit {

class ExpandedMeetingHUDView;
class RecordingHUDCapsule;

// What the floating panel shows while a recording runs: the compact
// capsule, or the meeting panel once the recording became a meeting. A
// switch to the meeting state makes a new meeting panel (on its first tab).
class RecordingHUDView : public QWidget {
    Q_OBJECT
public:
    RecordingHUDView(QList<double> levels, const RecordingHUDDisplayState &displayState,
                     QWidget *parent = nullptr);

    void setLevels(const QList<double> &levels);
    void setDisplayState(const RecordingHUDDisplayState &displayState);
    bool isCompact() const { return m_capsule != nullptr; }

    // Exactly one of the two exists.
    RecordingHUDCapsule *capsule() const { return m_capsule; }
    ExpandedMeetingHUDView *meetingView() const { return m_meeting; }

Q_SIGNALS:
    void cancelRequested();
    void finishRequested();
    void dragChanged(QSizeF translation);
    void dragEnded();
    void resizeChanged(HUDResizeHandle handle, QSizeF translation);
    void resizeEnded();

private:
    void clear();

    QList<double> m_levels;
    RecordingHUDCapsule *m_capsule = nullptr;
    ExpandedMeetingHUDView *m_meeting = nullptr;
};

} // namespace tovalit
