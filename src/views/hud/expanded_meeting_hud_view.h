#pragma once

#include "models/hud_resize_handle.h"
#include "models/meeting_hud_content.h"
#include "views/design/tovalit_glass_surface.h"

#include <QList>
#include <QSizeF>

#include <array>

namespace tovalit {

class HUDRoundButton;
class MeetingHUDTabButton;
class MeetingListScrollView;
class MeetingRawTranscriptScrollView;
class MeetingResizeHandleOverlay;
class MeetingTimelineScrollView;
class TovalitBadge;
class WaveformBarsView;

// The two views of the meeting panel's content card.
enum class MeetingHUDTab { timeline, rawTranscript };

inline constexpr std::array<MeetingHUDTab, 2> allMeetingHUDTabs{MeetingHUDTab::timeline,
                                                                MeetingHUDTab::rawTranscript};

QString title(MeetingHUDTab tab);

// The recording panel of a meeting: a drag bar with the level meter between
// cancel and finish, a header with the tab switch and the elapsed time, and
// a card with the live summary timeline or the raw transcript. Resizable
// by its corners. Always opens on the timeline; the chosen tab survives
// content updates.
class ExpandedMeetingHUDView : public TovalitGlassSurface {
    Q_OBJECT
public:
    ExpandedMeetingHUDView(QList<double> levels, MeetingHUDContent content,
                           QWidget *parent = nullptr);

    void setLevels(const QList<double> &levels);
    void setContent(MeetingHUDContent content);
    const MeetingHUDContent &content() const { return m_content; }

    MeetingHUDTab selectedTab() const { return m_selectedTab; }
    void selectTab(MeetingHUDTab tab);

    HUDRoundButton *cancelButton() const { return m_cancel; }
    HUDRoundButton *finishButton() const { return m_finish; }
    QWidget *dragZone() const { return m_dragZone; }
    WaveformBarsView *meter() const { return m_meter; }
    TovalitBadge *elapsedBadge() const { return m_badge; }
    MeetingHUDTabButton *tabButton(MeetingHUDTab tab) const;
    // The list on show; the other is null.
    MeetingTimelineScrollView *timeline() const;
    MeetingRawTranscriptScrollView *rawTranscript() const;
    MeetingResizeHandleOverlay *resizeHandles() const { return m_resizeHandles; }

    static QString elapsedBadgeTitle(const QString &elapsedLabel);

Q_SIGNALS:
    void cancelRequested();
    void finishRequested();
    void dragChanged(QSizeF translation);
    void dragEnded();
    void resizeChanged(HUDResizeHandle handle, QSizeF translation);
    void resizeEnded();

private:
    void showSelectedList();

    MeetingHUDContent m_content;
    MeetingHUDTab m_selectedTab = MeetingHUDTab::timeline;
    HUDRoundButton *m_cancel;
    HUDRoundButton *m_finish;
    QWidget *m_dragZone;
    WaveformBarsView *m_meter;
    TovalitBadge *m_badge;
    std::array<MeetingHUDTabButton *, 2> m_tabButtons{};
    TovalitGlassSurface *m_card;
    // Made when their tab is first chosen, then kept.
    MeetingTimelineScrollView *m_timelineList = nullptr;
    MeetingRawTranscriptScrollView *m_rawList = nullptr;
    MeetingResizeHandleOverlay *m_resizeHandles;
};

} // namespace tovalit
