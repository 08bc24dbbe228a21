#include "platform/fake/fake_global_hot_key.h"

namespace tovalit {

namespace {

QString describe(GlobalHotKey::Identifier identifier) {
    QString signature;
    for (int shift = 24; shift >= 0; shift -= 8)
        signature += QChar(char((identifier.signature >> shift) & 0xFF));
    return signature + u'/' + QString::number(identifier.id);
}

} // namespace

void FakeGlobalHotKey::failNextInstall(GlobalHotKeyError error) {
    std::lock_guard lock(m_mutex);
    m_installFailure = std::move(error);
}

void FakeGlobalHotKey::failRegistrations(std::optional<GlobalHotKeyError> error) {
    std::lock_guard lock(m_mutex);
    m_registerFailure = std::move(error);
}

QStringList FakeGlobalHotKey::calls() const {
    std::lock_guard lock(m_mutex);
    return m_calls;
}

void FakeGlobalHotKey::clearCalls() {
    std::lock_guard lock(m_mutex);
    m_calls.clear();
}

bool FakeGlobalHotKey::hasHandler() const {
    std::lock_guard lock(m_mutex);
    return bool(m_handler);
}

std::optional<FakeGlobalHotKey::Registered> FakeGlobalHotKey::registered() const {
    std::lock_guard lock(m_mutex);
    return m_registered;
}

int FakeGlobalHotKey::mostHandlersAtOnce() const {
    std::lock_guard lock(m_mutex);
    return m_mostHandlers;
}

int FakeGlobalHotKey::mostHotKeysAtOnce() const {
    std::lock_guard lock(m_mutex);
    return m_mostHotKeys;
}

bool FakeGlobalHotKey::press(Identifier identifier) {
    PressHandler handler;
    {
        std::lock_guard lock(m_mutex);
        handler = m_handler;
    }
    if (!handler)
        return false;
    handler(identifier);
    return true;
}

void FakeGlobalHotKey::installHandler(PressHandler handler) {
    std::lock_guard lock(m_mutex);
    m_calls.append(QStringLiteral("install"));
    if (auto failure = std::exchange(m_installFailure, std::nullopt))
        throw *failure;
    // A second handler beside the first is what the counter is for.
    m_mostHandlers = std::max(m_mostHandlers, m_handler ? 2 : 1);
    m_handler = std::move(handler);
}

void FakeGlobalHotKey::removeHandler() {
    std::lock_guard lock(m_mutex);
    m_calls.append(QStringLiteral("remove"));
    m_handler = {};
}

void FakeGlobalHotKey::registerHotKey(quint16 virtualKeyCode, quint32 modifiers,
                                      Identifier identifier) {
    std::lock_guard lock(m_mutex);
    m_calls.append(QStringLiteral("register %1 0x%2 %3")
                       .arg(virtualKeyCode)
                       .arg(modifiers, 0, 16)
                       .arg(describe(identifier)));
    if (m_registerFailure)
        throw *m_registerFailure;
    m_mostHotKeys = std::max(m_mostHotKeys, m_registered ? 2 : 1);
    m_registered = Registered{virtualKeyCode, modifiers, identifier};
}

void FakeGlobalHotKey::unregisterHotKey(Identifier identifier) {
    std::lock_guard lock(m_mutex);
    m_calls.append(QStringLiteral("unregister ") + describe(identifier));
    if (m_registered && m_registered->identifier == identifier)
        m_registered.reset();
}

} // namespace tovalit
