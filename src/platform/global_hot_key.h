#pragma once

#include "support/app_error.h"

#include <QString>
#include <QtGlobal>

#include <functional>

namespace tovalit {

// Why a key combination could not be taken over; the text is for the
// diagnostics log.
class GlobalHotKeyError : public AppError {
public:
    enum class Kind {
        // No window system to register with.
        unavailable,
        // The keyboard has no key at that position.
        unknownKey,
        // Another program holds the combination.
        alreadyTaken,
        // The window system refused for another reason.
        refused,
    };
    GlobalHotKeyError(Kind kind, QString detail = {});
    Kind kind() const { return m_kind; }
    QString localizedDescription() const override;

private:
    Kind m_kind;
    QString m_detail;
};

// A key combination that reaches us wherever the keyboard focus is. Works
// like the classic two-step hot-key service: a handler is installed first,
// then one combination is registered under an identifier that the handler
// receives with every press.
class GlobalHotKey {
public:
    struct Identifier {
        // Four characters packed big-endian, as hot-key signatures are.
        quint32 signature = 0;
        quint32 id = 0;

        bool operator==(const Identifier &) const = default;
    };
    // Called once per press (never for auto-repeat), on a thread of the
    // hot key's own.
    using PressHandler = std::function<void(Identifier identifier)>;

    virtual ~GlobalHotKey() = default;

    // Starts delivering presses to `handler`, replacing any earlier one.
    // Throws GlobalHotKeyError (unavailable) when there is nothing to
    // deliver them from; then nothing is installed.
    virtual void installHandler(PressHandler handler) = 0;
    // Stops delivering; harmless when nothing is installed.
    virtual void removeHandler() = 0;

    // Takes the combination of `virtualKeyCode` (the stored key numbering,
    // see VirtualKeyCode) and `modifiers` (hot-key modifier bits: command
    // 0x100, shift 0x200, option 0x800, control 0x1000). Throws
    // GlobalHotKeyError; then nothing of it stays registered.
    virtual void registerHotKey(quint16 virtualKeyCode, quint32 modifiers,
                                Identifier identifier) = 0;
    // Releases the combination registered under `identifier`, if any.
    virtual void unregisterHotKey(Identifier identifier) = 0;
};

// 'KWVH' and the like.
constexpr quint32 fourCharacterCode(const char (&code)[5]) {
    return (quint32(quint8(code[0])) << 24) | (quint32(quint8(code[1])) << 16) |
           (quint32(quint8(code[2])) << 8) | quint32(quint8(code[3]));
}

} // namespace tovalit
