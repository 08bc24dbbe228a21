#include "views/hud/floating_hud_model.h"

#include "support/textkit.h"

namespace tovalit {

FloatingHUDModel::Mode FloatingHUDModel::Mode::recording(RecordingHUDDisplayState displayState) {
    Mode mode;
    mode.m_kind = Kind::recording;
    mode.m_displayState = std::move(displayState);
    return mode;
}

FloatingHUDModel::Mode FloatingHUDModel::Mode::status(QString text, bool showsProgress) {
    Mode mode;
    mode.m_kind = Kind::status;
    mode.m_text = std::move(text);
    mode.m_showsProgress = showsProgress;
    return mode;
}

FloatingHUDModel::Mode FloatingHUDModel::Mode::toastOnly() {
    return {};
}

FloatingHUDModel::FloatingHUDModel(QObject *parent)
    : QObject(parent) {}

bool FloatingHUDModel::hasToast() const {
    return m_toastMessage && !textkit::isBlank(*m_toastMessage);
}

std::optional<QString>
FloatingHUDModel::normalizedToastMessage(const std::optional<QString> &message) {
    if (!message)
        return std::nullopt;
    QString trimmed = textkit::trimmed(*message);
    if (trimmed.isEmpty())
        return std::nullopt;
    return trimmed;
}

void FloatingHUDModel::showRecording(QList<double> levels, RecordingHUDDisplayState displayState,
                                     std::function<void()> onFinish, std::function<void()> onCancel,
                                     std::optional<QString> toastMessage,
                                     std::optional<QString> toastActionTitle,
                                     std::function<void()> onToastAction,
                                     std::function<void(QSizeF)> onDragChanged,
                                     std::function<void()> onDragEnded,
                                     std::function<void(HUDResizeHandle, QSizeF)> onResizeChanged,
                                     std::function<void()> onResizeEnded) {
    m_levels = std::move(levels);
    m_callbacks.onFinish = std::move(onFinish);
    m_callbacks.onCancel = std::move(onCancel);
    m_toastMessage = normalizedToastMessage(toastMessage);
    m_toastActionTitle = normalizedToastMessage(toastActionTitle);
    m_callbacks.onToastAction = std::move(onToastAction);
    m_callbacks.onDragChanged = std::move(onDragChanged);
    m_callbacks.onDragEnded = std::move(onDragEnded);
    m_callbacks.onResizeChanged = std::move(onResizeChanged);
    m_callbacks.onResizeEnded = std::move(onResizeEnded);
    Q_EMIT levelsChanged();
    Q_EMIT toastChanged();

    Mode mode = Mode::recording(std::move(displayState));
    if (mode != m_mode) {
        m_mode = std::move(mode);
        Q_EMIT modeChanged();
    }
}

void FloatingHUDModel::showStatus(QString text, bool showsProgress,
                                  std::optional<QString> toastMessage) {
    clearRecordingCallbacks();
    m_toastMessage = normalizedToastMessage(toastMessage);
    m_toastActionTitle.reset();
    m_callbacks.onToastAction = nullptr;
    Q_EMIT toastChanged();
    m_mode = Mode::status(std::move(text), showsProgress);
    Q_EMIT modeChanged();
}

void FloatingHUDModel::showToastOnly(const QString &message, std::optional<QString> actionTitle,
                                     std::function<void()> onAction) {
    clearRecordingCallbacks();
    m_toastMessage = normalizedToastMessage(message);
    m_toastActionTitle = normalizedToastMessage(actionTitle);
    m_callbacks.onToastAction = std::move(onAction);
    Q_EMIT toastChanged();
    m_mode = Mode::toastOnly();
    Q_EMIT modeChanged();
}

void FloatingHUDModel::clearRecordingCallbacks() {
    m_callbacks.onFinish = nullptr;
    m_callbacks.onCancel = nullptr;
    m_callbacks.onDragChanged = nullptr;
    m_callbacks.onDragEnded = nullptr;
    m_callbacks.onResizeChanged = nullptr;
    m_callbacks.onResizeEnded = nullptr;
}

} // namespace tovalit
