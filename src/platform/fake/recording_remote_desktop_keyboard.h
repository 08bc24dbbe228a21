#pragma once

#include "platform/remote_desktop_keyboard.h"

#include <QObject>
#include <QStringList>

#include <functional>
#include <optional>

namespace tovalit {

// The desktop's remote-desktop keyboard for tests: answers its version as
// set, writes down the restore token of every opening, grants at once
// unless told to fail or to hold the answer (as while the user looks at
// the desktop's window), and counts pastes; `onPaste` plays the focused
// application's part and says whether the desktop took the keys. GUI
// thread.
class RecordingRemoteDesktopKeyboard final : public QObject, public RemoteDesktopKeyboard {
    Q_OBJECT

public:
    // 0: the desktop has no remote-desktop service.
    void setVersion(uint version) { m_version = version; }
    // How openings end from now on: granted with `restoreToken`, or with
    // the error of `failure`.
    void answerWith(std::optional<RemoteDesktopKeyboardError::Kind> failure,
                    QString restoreToken = {});
    // Openings wait until releaseAnswers(), or until close().
    void holdAnswers(bool hold);
    void releaseAnswers() { holdAnswers(false); }
    // The desktop ends the open session on its own.
    void closeFromDesktop();

    // The restore token of each opening, in order ("" for none).
    QStringList openings() const { return m_openings; }
    int pendingOpenings() const { return m_pendingOpenings; }
    int pasteCount() const { return m_pasteCount; }
    // The keys of each paste, in order.
    QList<PasteKeys> pastedKeys() const { return m_pastedKeys; }
    std::function<bool()> onPaste;

    QCoro::Task<uint> version() override;
    QCoro::Task<Grant> open(QString restoreToken) override;
    bool isOpen() const override { return m_open; }
    QCoro::Task<bool> pressPasteShortcut() override;
    QCoro::Task<bool> pressPasteKeys(PasteKeys keys) override;
    void close() override;
    void setOnClosed(std::function<void()> handler) override { m_onClosed = std::move(handler); }

Q_SIGNALS:
    void holdChanged();

private:
    uint m_version = 1;
    std::optional<RemoteDesktopKeyboardError::Kind> m_failure;
    QString m_restoreToken;
    bool m_hold = false;
    bool m_open = false;
    quint64 m_closes = 0;
    QStringList m_openings;
    int m_pendingOpenings = 0;
    int m_pasteCount = 0;
    QList<PasteKeys> m_pastedKeys;
    std::function<void()> m_onClosed;
};

} // namespace tovalit
