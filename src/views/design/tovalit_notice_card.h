#pragma once

#include "views/design/tovalit_badge_tone.h"
#include "views/design/tovalit_glass_surface.h"

namespace tovalit {

class TovalitSymbolView;
class TovalitTextLabel;

// A short message with a tone-coloured symbol; grows in height to show all
// of the message.
class TovalitNoticeCard : public TovalitGlassSurface {
    Q_OBJECT
public:
    TovalitNoticeCard(const QString &message, const QString &systemImage, TovalitBadgeTone tone,
                      QWidget *parent = nullptr);

    void setNotice(const QString &message, const QString &systemImage, TovalitBadgeTone tone);

    TovalitTextLabel *messageLabel() const { return m_message; }
    TovalitSymbolView *symbol() const { return m_symbol; }

private:
    TovalitSymbolView *m_symbol;
    TovalitTextLabel *m_message;
};

} // namespace tovalit
