#pragma once

#include "models/shortcut_configuration.h"
#include "platform/application_keyboard.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace tovalit {

// Records a new recording shortcut from the keyboard while one of the
// application's windows has the focus: Fn alone, or a key together with
// at least one of Shift, Control, Option and Command; Esc cancels. The
// keys it takes never reach the focused widget. Lives on the GUI thread.
class ShortcutRecorderService : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isRecording READ isRecording NOTIFY isRecordingChanged)
    Q_PROPERTY(QString helperText READ helperText NOTIFY helperTextChanged)

public:
    using CaptureHandler = std::function<void(const ShortcutConfiguration &configuration)>;

    explicit ShortcutRecorderService(std::shared_ptr<ApplicationKeyboard> keyboard,
                                     QObject *parent = nullptr);
    ~ShortcutRecorderService() override;

    bool isRecording() const { return m_isRecording; }
    QString helperText() const { return m_helperText; }

    // Starts a capture; one already running loses its monitor and its
    // handler.
    void beginRecording(CaptureHandler onCapture);
    // Ends a capture without a result.
    void cancel();

Q_SIGNALS:
    void isRecordingChanged(bool isRecording);
    void helperTextChanged(const QString &helperText);

private:
    std::optional<LocalKeyEvent> handle(const LocalKeyEvent &event);
    void finish(const ShortcutConfiguration &configuration);
    void stopMonitoring();
    void setRecording(bool isRecording);
    void setHelperText(const QString &text);

    std::shared_ptr<ApplicationKeyboard> m_keyboard;
    bool m_isRecording = false;
    QString m_helperText;
    std::optional<ApplicationKeyboard::MonitorToken> m_localMonitor;
    CaptureHandler m_onCapture;
};

} // namespace tovalit
