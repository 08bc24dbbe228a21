#pragma once

#include "platform/global_hot_key.h"

#include <QStringList>

#include <mutex>
#include <optional>

namespace tovalit {

// A hot-key service for tests: records every call in order ("install",
// "register 40 0x900 KWVH/1", "unregister KWVH/1", "remove"), can be told
// to refuse, and delivers presses on request.
class FakeGlobalHotKey final : public GlobalHotKey {
public:
    struct Registered {
        quint16 virtualKeyCode = 0;
        quint32 modifiers = 0;
        Identifier identifier;

        bool operator==(const Registered &) const = default;
    };

    void failNextInstall(GlobalHotKeyError error);
    void failRegistrations(std::optional<GlobalHotKeyError> error);

    QStringList calls() const;
    void clearCalls();
    bool hasHandler() const;
    std::optional<Registered> registered() const;
    // The most handlers and hot keys that were ever installed at once.
    int mostHandlersAtOnce() const;
    int mostHotKeysAtOnce() const;

    // Calls the installed handler as a press would, on the calling thread.
    // False when no handler is installed.
    bool press(Identifier identifier);

    void installHandler(PressHandler handler) override;
    void removeHandler() override;
    void registerHotKey(quint16 virtualKeyCode, quint32 modifiers, Identifier identifier) override;
    void unregisterHotKey(Identifier identifier) override;

private:
    mutable std::mutex m_mutex;
    QStringList m_calls;
    PressHandler m_handler;
    std::optional<Registered> m_registered;
    std::optional<GlobalHotKeyError> m_installFailure;
    std::optional<GlobalHotKeyError> m_registerFailure;
    int m_mostHandlers = 0;
    int m_mostHotKeys = 0;
};

} // namespace tovalit
