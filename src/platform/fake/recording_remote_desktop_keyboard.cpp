#include "platform/fake/recording_remote_desktop_keyboard.h"

#include <qcoro/qcorosignal.h>

namespace tovalit {

void RecordingRemoteDesktopKeyboard::answerWith(
    std::optional<RemoteDesktopKeyboardError::Kind> failure, QString restoreToken) {
    m_failure = failure;
    m_restoreToken = std::move(restoreToken);
}

void RecordingRemoteDesktopKeyboard::holdAnswers(bool hold) {
    m_hold = hold;
    Q_EMIT holdChanged();
}

void RecordingRemoteDesktopKeyboard::closeFromDesktop() {
    const bool wasOpen = m_open;
    close();
    if (wasOpen && m_onClosed)
        m_onClosed();
}

QCoro::Task<uint> RecordingRemoteDesktopKeyboard::version() {
    co_return m_version;
}

QCoro::Task<RemoteDesktopKeyboard::Grant>
RecordingRemoteDesktopKeyboard::open(QString restoreToken) {
    close();
    const quint64 attempt = m_closes;
    m_openings.append(restoreToken);
    ++m_pendingOpenings;
    while (m_hold && attempt == m_closes)
        co_await qCoro(this, &RecordingRemoteDesktopKeyboard::holdChanged);
    --m_pendingOpenings;
    if (attempt != m_closes)
        throw RemoteDesktopKeyboardError(RemoteDesktopKeyboardError::Kind::closed);
    if (m_version == 0)
        throw RemoteDesktopKeyboardError(RemoteDesktopKeyboardError::Kind::unavailable);
    if (m_failure)
        throw RemoteDesktopKeyboardError(*m_failure);
    m_open = true;
    co_return Grant{m_restoreToken};
}

QCoro::Task<bool> RecordingRemoteDesktopKeyboard::pressPasteShortcut() {
    return pressPasteKeys(PasteKeys::controlV);
}

QCoro::Task<bool> RecordingRemoteDesktopKeyboard::pressPasteKeys(PasteKeys keys) {
    if (!m_open)
        co_return false;
    ++m_pasteCount;
    m_pastedKeys.append(keys);
    co_return onPaste ? onPaste() : true;
}

void RecordingRemoteDesktopKeyboard::close() {
    ++m_closes;
    m_open = false;
    // A held opening ends.
    Q_EMIT holdChanged();
}

} // namespace tovalit
