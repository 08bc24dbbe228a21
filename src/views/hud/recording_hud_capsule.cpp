#include "views/hud/recording_hud_capsule.h"

#include "views/hud/hud_layout.h"
#include "views/hud/hud_round_button.h"
#include "views/hud/panel_drag_gesture.h"
#include "views/hud/waveform_bars_view.h"

#include <QHBoxLayout>

namespace tovalit {

RecordingHUDCapsule::RecordingHUDCapsule(QWidget *parent)
    : TovalitGlassSurface(TovalitGlassLevel::hud(), parent)
    , m_cancel(new HUDRoundButton(QStringLiteral("xmark"), QStringLiteral("取消"), 28, this))
    , m_meter(new WaveformBarsView(8, 22, this))
    , m_finish(new HUDRoundButton(QStringLiteral("checkmark"), QStringLiteral("完成"), 28, this)) {
    setObjectName(QStringLiteral("compactHUD"));
    setCastsShadow(false);
    m_cancel->setObjectName(QStringLiteral("cancelButton"));
    m_finish->setObjectName(QStringLiteral("finishButton"));
    m_meter->setObjectName(QStringLiteral("WaveformBarsView"));

    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(14, 10, 14, 10);
    row->setSpacing(10);
    row->addWidget(m_cancel, 0, Qt::AlignVCenter);
    row->addWidget(m_meter, 1, Qt::AlignVCenter);
    row->addWidget(m_finish, 0, Qt::AlignVCenter);
    setFixedSize(HUDLayout::recordingPanelSize.toSize());

    connect(m_cancel, &QAbstractButton::clicked, this, &RecordingHUDCapsule::cancelRequested);
    connect(m_finish, &QAbstractButton::clicked, this, &RecordingHUDCapsule::finishRequested);
    auto *drag = new PanelDragGesture(m_meter, 2);
    drag->onChanged = [this](QSizeF translation) { Q_EMIT dragChanged(translation); };
    drag->onEnded = [this] { Q_EMIT dragEnded(); };
}

void RecordingHUDCapsule::setLevels(const QList<double> &levels) {
    m_meter->setLevels(levels);
}

} // namespace tovalit
