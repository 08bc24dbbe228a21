#pragma once

#include "models/recording_hud_display_state.h"

#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace tovalit {

// The floating heads-up panel as the dictation controller drives it: one
// call per step of a dictation, each replacing what the panel showed
// before. Implemented by the screen side; called on the GUI thread only.
// An empty std::function is an absent action.
class FloatingPanelCoordinating {
public:
    using Action = std::function<void()>;

    virtual ~FloatingPanelCoordinating() = default;

    // The recording panel: the capsule with `levels` (0...1 each) or the
    // meeting panel, with an optional toast above it that lasts as long as
    // the caller keeps passing it. Called for every new input level, so an
    // unchanged presentation costs no window work.
    virtual void showRecording(QList<double> levels, RecordingHUDDisplayState displayState,
                               std::optional<QString> toastMessage,
                               std::optional<QString> toastActionTitle, Action onToastAction,
                               Action onFinish, Action onCancel) = 0;
    // A running step ("思考中", "整理中" …) with a moving progress bar; stays
    // until the next call. `message` is not shown.
    virtual void showThinking(const QString &title, const QString &message) = 0;
    // "已完成", with an optional toast; hides by itself.
    virtual void showCompletion(std::optional<QString> toast) = 0;
    // A toast alone, with an optional action button; hides by itself after
    // `autoHideAfter` seconds, or 5 s with an action title, else 3 s.
    virtual void showToast(const QString &message, std::optional<QString> actionTitle,
                           std::optional<double> autoHideAfter, Action onAction) = 0;
    // Replaces the text and action of a toast that is still showing without
    // moving its hide time; otherwise as showToast().
    virtual void updateToast(const QString &message, std::optional<QString> actionTitle,
                             std::optional<double> autoHideAfter, Action onAction) = 0;
    virtual void hide() = 0;
};

} // namespace tovalit
