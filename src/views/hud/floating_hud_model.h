#pragma once

#include "models/hud_resize_handle.h"
#include "models/recording_hud_display_state.h"

#include <QList>
#include <QObject>
#include <QSizeF>
#include <QString>

#include <functional>
#include <optional>

namespace tovalit {

// The actions the panel's views report. The panel calls whichever action
// the model holds at the moment of the event, so a callback replaced
// between two events takes effect at once. An empty function does nothing.
struct FloatingHUDCallbacks {
    std::function<void()> onCancel;
    std::function<void()> onFinish;
    std::function<void()> onToastAction;
    std::function<void(QSizeF translation)> onDragChanged;
    std::function<void()> onDragEnded;
    std::function<void(HUDResizeHandle handle, QSizeF translation)> onResizeChanged;
    std::function<void()> onResizeEnded;
};

// The observable state the floating panel renders.
class FloatingHUDModel : public QObject {
    Q_OBJECT
public:
    // What the panel presents below the toast band.
    class Mode {
    public:
        enum class Kind { recording, status, toastOnly };

        static Mode recording(RecordingHUDDisplayState displayState);
        static Mode status(QString text, bool showsProgress);
        static Mode toastOnly();

        Kind kind() const { return m_kind; }
        // For recording.
        const RecordingHUDDisplayState &displayState() const { return m_displayState; }
        // For status.
        const QString &text() const { return m_text; }
        bool showsProgress() const { return m_showsProgress; }

        bool operator==(const Mode &) const = default;

    private:
        Kind m_kind = Kind::toastOnly;
        RecordingHUDDisplayState m_displayState;
        QString m_text;
        bool m_showsProgress = false;
    };

    explicit FloatingHUDModel(QObject *parent = nullptr);

    const Mode &mode() const { return m_mode; }
    const QList<double> &levels() const { return m_levels; }
    const std::optional<QString> &toastMessage() const { return m_toastMessage; }
    const std::optional<QString> &toastActionTitle() const { return m_toastActionTitle; }
    const FloatingHUDCallbacks &callbacks() const { return m_callbacks; }

    // A toast message that is present and not blank.
    bool hasToast() const;

    // The recording panel. Levels and toast are published on every call;
    // the mode only when the display state really changed, so an unchanged
    // meeting costs the views nothing on a level update.
    void showRecording(QList<double> levels, RecordingHUDDisplayState displayState,
                       std::function<void()> onFinish, std::function<void()> onCancel,
                       std::optional<QString> toastMessage, std::optional<QString> toastActionTitle,
                       std::function<void()> onToastAction,
                       std::function<void(QSizeF)> onDragChanged, std::function<void()> onDragEnded,
                       std::function<void(HUDResizeHandle, QSizeF)> onResizeChanged,
                       std::function<void()> onResizeEnded);
    // A status panel; removes any toast action and clears the recording
    // callbacks. The mode is published even when equal. Levels stay.
    void showStatus(QString text, bool showsProgress, std::optional<QString> toastMessage);
    // A toast alone.
    void showToastOnly(const QString &message, std::optional<QString> actionTitle,
                       std::function<void()> onAction);

    // Absent stays absent; otherwise trimmed of white space and line
    // breaks, and absent when nothing is left.
    static std::optional<QString> normalizedToastMessage(const std::optional<QString> &message);

Q_SIGNALS:
    void modeChanged();
    void levelsChanged();
    void toastChanged();

private:
    void clearRecordingCallbacks();

    Mode m_mode = Mode::status(QStringLiteral("思考中"), true);
    QList<double> m_levels;
    std::optional<QString> m_toastMessage;
    std::optional<QString> m_toastActionTitle;
    FloatingHUDCallbacks m_callbacks;
};

} // namespace tovalit
