#pragma once

#include "views/design/tovalit_glass_surface.h"

#include <QList>
#include <QSizeF>

namespace tovalit {

class HUDRoundButton;
class WaveformBarsView;

// The compact recording panel: cancel, the level meter that also moves the
// panel, finish.
class RecordingHUDCapsule : public TovalitGlassSurface {
    Q_OBJECT
public:
    explicit RecordingHUDCapsule(QWidget *parent = nullptr);

    void setLevels(const QList<double> &levels);

    HUDRoundButton *cancelButton() const { return m_cancel; }
    HUDRoundButton *finishButton() const { return m_finish; }
    WaveformBarsView *meter() const { return m_meter; }

Q_SIGNALS:
    void cancelRequested();
    void finishRequested();
    void dragChanged(QSizeF translation);
    void dragEnded();

private:
    HUDRoundButton *m_cancel;
    WaveformBarsView *m_meter;
    HUDRoundButton *m_finish;
};

} // namespace tovalit
