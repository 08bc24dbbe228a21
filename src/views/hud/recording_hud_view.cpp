#include "views/hud/recording_hud_view.h"

#include "views/hud/expanded_meeting_hud_view.h"
#include "views/hud/hud_layout.h"
#include "views/hud/recording_hud_capsule.h"

#include <QVBoxLayout>

namespace tovalit {

RecordingHUDView::RecordingHUDView(QList<double> levels,
                                   const RecordingHUDDisplayState &displayState, QWidget *parent)
    : QWidget(parent)
    , m_levels(std::move(levels)) {
    setObjectName(QStringLiteral("RecordingHUDView"));
    setAttribute(Qt::WA_TranslucentBackground);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    setDisplayState(displayState);
}

void RecordingHUDView::setLevels(const QList<double> &levels) {
    m_levels = levels;
    if (m_capsule)
        m_capsule->setLevels(levels);
    if (m_meeting)
        m_meeting->setLevels(levels);
}

void RecordingHUDView::setDisplayState(const RecordingHUDDisplayState &displayState) {
    if (const MeetingHUDContent *content = displayState.meetingContent()) {
        if (m_meeting) {
            m_meeting->setContent(*content);
            return;
        }
        clear();
        m_meeting = new ExpandedMeetingHUDView(m_levels, *content, this);
        connect(m_meeting, &ExpandedMeetingHUDView::cancelRequested, this,
                &RecordingHUDView::cancelRequested);
        connect(m_meeting, &ExpandedMeetingHUDView::finishRequested, this,
                &RecordingHUDView::finishRequested);
        connect(m_meeting, &ExpandedMeetingHUDView::dragChanged, this,
                &RecordingHUDView::dragChanged);
        connect(m_meeting, &ExpandedMeetingHUDView::dragEnded, this, &RecordingHUDView::dragEnded);
        connect(m_meeting, &ExpandedMeetingHUDView::resizeChanged, this,
                &RecordingHUDView::resizeChanged);
        connect(m_meeting, &ExpandedMeetingHUDView::resizeEnded, this,
                &RecordingHUDView::resizeEnded);
        layout()->addWidget(m_meeting);
        m_meeting->show();
        setMinimumSize(HUDLayout::expandedMeetingMinimumSize.toSize());
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        return;
    }
    if (m_capsule)
        return;
    clear();
    m_capsule = new RecordingHUDCapsule(this);
    m_capsule->setLevels(m_levels);
    connect(m_capsule, &RecordingHUDCapsule::cancelRequested, this,
            &RecordingHUDView::cancelRequested);
    connect(m_capsule, &RecordingHUDCapsule::finishRequested, this,
            &RecordingHUDView::finishRequested);
    connect(m_capsule, &RecordingHUDCapsule::dragChanged, this, &RecordingHUDView::dragChanged);
    connect(m_capsule, &RecordingHUDCapsule::dragEnded, this, &RecordingHUDView::dragEnded);
    layout()->addWidget(m_capsule);
    m_capsule->show();
    setFixedSize(HUDLayout::recordingPanelSize.toSize());
}

void RecordingHUDView::clear() {
    // Deferred: the switch may come from inside one of the old view's own
    // button handlers.
    for (QWidget *old : {static_cast<QWidget *>(m_capsule), static_cast<QWidget *>(m_meeting)}) {
        if (old) {
            layout()->removeWidget(old);
            old->hide();
            old->disconnect(this);
            old->deleteLater();
        }
    }
    m_capsule = nullptr;
    m_meeting = nullptr;
}

} // namespace tovalit
