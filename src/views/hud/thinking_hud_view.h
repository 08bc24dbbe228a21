#pragma once

#include "views/design/tovalit_glass_surface.h"

namespace tovalit {

class CapsuleProgressTrack;
class TovalitSymbolView;
class TovalitTextLabel;

// The small status panel: what the dictation is doing, with a moving
// progress bar, or that it is done. To a screen reader it is one element,
// named with the status.
class ThinkingHUDView : public TovalitGlassSurface {
    Q_OBJECT
public:
    ThinkingHUDView(QString text, bool showsProgress, bool isError, QWidget *parent = nullptr);

    void setStatus(const QString &text, bool showsProgress, bool isError);

    const QString &text() const { return m_text; }
    bool showsProgress() const { return m_showsProgress; }
    bool isError() const { return m_isError; }

    static QString leadingIcon(bool showsProgress, bool isError);
    static QColor leadingColor(bool showsProgress, bool isError);

    TovalitSymbolView *icon() const { return m_icon; }
    TovalitTextLabel *title() const { return m_title; }
    // Null while the bar stands still.
    CapsuleProgressTrack *progressTrack() const { return m_track; }
    // The still bar; null while progress runs.
    QWidget *stillBar() const { return m_stillBar; }

private:
    void rebuildBar();

    QString m_text;
    bool m_showsProgress;
    bool m_isError;
    TovalitSymbolView *m_icon;
    TovalitTextLabel *m_title;
    CapsuleProgressTrack *m_track = nullptr;
    QWidget *m_stillBar = nullptr;
};

} // namespace tovalit
