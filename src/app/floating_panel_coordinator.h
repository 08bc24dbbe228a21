#pragma once

#include "app/floating_panel_screens.h"
#include "models/hud_resize_handle.h"
#include "state/shared/floating_panel_coordinating.h"
#include "support/sleeper.h"
#include "support/spawn.h"

#include <QObject>
#include <QRectF>
#include <QSizeF>

#include <memory>
#include <optional>

namespace tovalit {

class FloatingHUDModel;
class FloatingHUDPanel;

// Owns the one floating heads-up panel and decides what it shows: the
// recording panel (capsule or meeting panel), a status panel, or a toast
// alone, each optionally under a toast. The panel is made on the first
// show and kept for the life of the process. GUI thread only.
class FloatingPanelCoordinator : public QObject, public FloatingPanelCoordinating {
    Q_OBJECT
public:
    // What the panel is presenting now.
    enum class PresentationKind { recording, status, toastOnly };

    explicit FloatingPanelCoordinator(std::shared_ptr<const FloatingPanelScreens> screens = nullptr,
                                      Sleeper sleeper = systemSleeper(), QObject *parent = nullptr);
    ~FloatingPanelCoordinator() override;

    void showRecording(QList<double> levels, RecordingHUDDisplayState displayState,
                       std::optional<QString> toastMessage, std::optional<QString> toastActionTitle,
                       Action onToastAction, Action onFinish, Action onCancel) override;
    void showThinking(const QString &title, const QString &message) override;
    void showCompletion(std::optional<QString> toast) override;
    void showToast(const QString &message, std::optional<QString> actionTitle,
                   std::optional<double> autoHideAfter, Action onAction) override;
    void updateToast(const QString &message, std::optional<QString> actionTitle,
                     std::optional<double> autoHideAfter, Action onAction) override;
    void hide() override;

    // For the application and its tests: the panel (null before the first
    // show), its model, and what is presented.
    FloatingHUDPanel *panel() const { return m_panel; }
    FloatingHUDModel *hudModel() const { return m_hudModel; }
    std::optional<PresentationKind> currentKind() const { return m_currentKind; }
    std::optional<QSizeF> customExpandedCapsuleSize() const { return m_customExpandedCapsuleSize; }

    // The visible frame of the panel's screen, else of the screen under the
    // pointer, else of the main screen, else a 1440 x 900 desktop.
    QRectF currentVisibleFrame() const;

private:
    FloatingHUDPanel *makePanelIfNeeded();
    void showPanel(const QRectF &frame);
    bool panelIsVisible() const;
    QRectF recordingPanelFrame(const RecordingHUDDisplayState &displayState) const;
    QRectF statusPanelFrame(QSizeF contentSize, bool hasToast) const;
    void disallowKeyFocus();
    Action toastActionHidingAfterwards(Action onAction);

    void handleRecordingPanelDrag(QSizeF translation);
    void finishRecordingPanelDrag();
    void handleRecordingPanelResize(HUDResizeHandle handle, QSizeF translation);
    void finishRecordingPanelResize();
    // Forgets a drag or resize in progress, whose view has gone.
    void endRecordingPanelGestures();

    void scheduleHide(double seconds);

    std::shared_ptr<const FloatingPanelScreens> m_screens;
    Sleeper m_sleeper;
    FloatingHUDModel *m_hudModel;
    FloatingHUDPanel *m_panel = nullptr;
    TaskHandle m_hideTask;
    std::optional<PresentationKind> m_currentKind;
    std::optional<QRectF> m_recordingDragBaselineFrame;
    // The drag's last translation, to carry it on when the panel's size
    // changes under it.
    QSizeF m_recordingDragTranslation;
    std::optional<QRectF> m_recordingResizeBaselineFrame;
    std::optional<QSizeF> m_customExpandedCapsuleSize;
    // Counts presentations, so a toast's action can tell whether it
    // presented something new before its toast is hidden.
    quint64 m_presentation = 0;
};

} // namespace tovalit
