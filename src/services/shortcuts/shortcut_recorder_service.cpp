#include "services/shortcuts/shortcut_recorder_service.h"

#include <QPointer>

namespace tovalit {

ShortcutRecorderService::ShortcutRecorderService(std::shared_ptr<ApplicationKeyboard> keyboard,
                                                 QObject *parent)
    : QObject(parent)
    , m_keyboard(std::move(keyboard)) {}

ShortcutRecorderService::~ShortcutRecorderService() {
    // A monitor left behind could no longer reach us.
    stopMonitoring();
}

void ShortcutRecorderService::beginRecording(CaptureHandler onCapture) {
    stopMonitoring();
    setRecording(true);
    setHelperText(QStringLiteral("请按 Fn，或按下一个带修饰键的组合键"));
    m_onCapture = std::move(onCapture);
    QPointer<ShortcutRecorderService> guard(this);
    m_localMonitor = m_keyboard->addLocalMonitor(
        [guard](const LocalKeyEvent &event) -> std::optional<LocalKeyEvent> {
            if (!guard)
                return event;
            return guard->handle(event);
        });
}

void ShortcutRecorderService::cancel() {
    setHelperText(QString());
    setRecording(false);
    m_onCapture = {};
    stopMonitoring();
}

std::optional<LocalKeyEvent> ShortcutRecorderService::handle(const LocalKeyEvent &event) {
    if (!m_isRecording)
        return event;
    if (event.type == LocalKeyEvent::Type::flagsChanged) {
        if (event.modifierFlags & ModifierFlag::function) {
            finish(ShortcutConfiguration::functionKey());
            return std::nullopt;
        }
        return event;
    }
    if (event.keyCode == VirtualKeyCode::escape) {
        cancel();
        return std::nullopt;
    }
    if (event.modifierFlags & ModifierFlag::shortcutMask) {
        if (const auto display = ShortcutConfiguration::keyDisplayFor(event)) {
            finish(ShortcutConfiguration::custom(event.keyCode, event.modifierFlags, *display));
            return std::nullopt;
        }
    }
    setHelperText(QStringLiteral("请至少包含一个修饰键；按 Esc 取消"));
    m_keyboard->beep();
    return std::nullopt;
}

void ShortcutRecorderService::finish(const ShortcutConfiguration &configuration) {
    const CaptureHandler onCapture = std::exchange(m_onCapture, {});
    setHelperText(QStringLiteral("当前快捷键：") + configuration.displayName());
    setRecording(false);
    stopMonitoring();
    if (onCapture)
        onCapture(configuration);
}

void ShortcutRecorderService::stopMonitoring() {
    if (const auto token = std::exchange(m_localMonitor, std::nullopt))
        m_keyboard->removeMonitor(*token);
}

void ShortcutRecorderService::setRecording(bool isRecording) {
    m_isRecording = isRecording;
    Q_EMIT isRecordingChanged(m_isRecording);
}

void ShortcutRecorderService::setHelperText(const QString &text) {
    m_helperText = text;
    Q_EMIT helperTextChanged(m_helperText);
}

} // namespace tovalit
