#pragma once

#include "models/transcript_record.h"
#include "views/design/tovalit_glass_surface.h"

class QAction;

namespace tovalit {

class TovalitBadge;
class TovalitButton;
class TovalitMenuButton;
class TovalitSelectableText;
class TovalitSymbolView;
class TovalitTextLabel;

// One dictation on the history page: time, duration and status, the text
// (collapsed to a preview or in full), a line on what went wrong, and the
// record's actions. The card only reports the user's actions; the page
// decides what they do.
class HistoryRecordCard : public TovalitGlassSurface {
    Q_OBJECT
public:
    HistoryRecordCard(const TranscriptRecord &record, bool expanded, QWidget *parent = nullptr);

    // Redraws the card for a changed record or expansion; nothing happens
    // when both are as shown.
    void setRecord(const TranscriptRecord &record, bool expanded);
    const TranscriptRecord &record() const { return m_record; }
    bool isExpanded() const { return m_expanded; }

    TovalitTextLabel *createdAtLabel() const { return m_createdAt; }
    TovalitTextLabel *durationLabel() const { return m_duration; }
    TovalitBadge *statusBadge() const { return m_badge; }
    TovalitSelectableText *bodyText() const { return m_body; }
    // Hidden when the record has no secondary line.
    QWidget *secondaryLine() const { return m_secondaryLine; }
    TovalitSymbolView *secondaryIcon() const { return m_secondaryIcon; }
    TovalitTextLabel *secondaryText() const { return m_secondaryText; }
    TovalitButton *expandButton() const { return m_expandButton; }
    TovalitButton *copyButton() const { return m_copyButton; }
    TovalitButton *retryButton() const { return m_retryButton; }
    TovalitMenuButton *moreButton() const { return m_moreButton; }

Q_SIGNALS:
    void expandClicked();
    void copyClicked();
    void retryClicked();
    void revealTranscriptClicked();
    void revealAudioClicked();
    void deleteClicked();

private:
    void refresh();
    void rebuildMenu();

    TranscriptRecord m_record;
    bool m_expanded;
    TovalitTextLabel *m_createdAt;
    TovalitTextLabel *m_duration;
    TovalitBadge *m_badge;
    TovalitSelectableText *m_body;
    QWidget *m_secondaryLine;
    TovalitSymbolView *m_secondaryIcon;
    TovalitTextLabel *m_secondaryText;
    TovalitButton *m_expandButton;
    TovalitButton *m_copyButton;
    TovalitButton *m_retryButton;
    TovalitMenuButton *m_moreButton;
};

} // namespace tovalit
