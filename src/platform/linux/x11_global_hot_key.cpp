#include "platform/linux/x11_global_hot_key.h"

#include "platform/linux/x11_keymap.h"
#include "platform/linux/xcb_connection.h"
#include "platform/virtual_key_code.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace tovalit {

namespace {

constexpr quint32 commandBit = 0x100;
constexpr quint32 shiftBit = 0x200;
constexpr quint32 optionBit = 0x800;
constexpr quint32 controlBit = 0x1000;

constexpr quint16 modifierBits = XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 |
                                 XCB_MOD_MASK_2 | XCB_MOD_MASK_3 | XCB_MOD_MASK_4 | XCB_MOD_MASK_5;

// Wakes the reader: 1 to look at the queue again, 2 to stop.
constexpr uint64_t drainSignal = 1;
constexpr uint64_t stopSignal = 2;

} // namespace

X11GlobalHotKey::X11GlobalHotKey() = default;

X11GlobalHotKey::~X11GlobalHotKey() {
    stopReader();
    std::optional<Registration> registration;
    {
        std::lock_guard lock(m_mutex);
        registration = std::exchange(m_registration, std::nullopt);
    }
    if (registration && m_x && !xcb_connection_has_error(m_x->connection())) {
        ungrab(registration->keycode, registration->grabbed);
        xcb_flush(m_x->connection());
    }
}

xcb_connection_t *X11GlobalHotKey::connection() {
    if (m_x && !xcb_connection_has_error(m_x->connection()))
        return m_x->connection();
    // A broken connection took its grabs and its reader with it.
    const bool hadReader = m_reader.joinable();
    PressHandler handler;
    if (hadReader) {
        stopReader();
        std::lock_guard lock(m_mutex);
        handler = m_handler;
    }
    {
        std::lock_guard lock(m_mutex);
        m_registration.reset();
    }
    m_x = XcbConnection::open();
    if (!m_x)
        return nullptr;
    if (hadReader)
        installHandler(std::move(handler));
    return m_x->connection();
}

void X11GlobalHotKey::installHandler(PressHandler handler) {
    if (!connection()) {
        throw GlobalHotKeyError(GlobalHotKeyError::Kind::unavailable,
                                QStringLiteral("DISPLAY=") + qEnvironmentVariable("DISPLAY"));
    }
    {
        std::lock_guard lock(m_mutex);
        m_handler = std::move(handler);
    }
    if (m_reader.joinable())
        return;
    m_wakeDescriptor = eventfd(0, EFD_CLOEXEC);
    if (m_wakeDescriptor < 0) {
        throw GlobalHotKeyError(GlobalHotKeyError::Kind::unavailable,
                                QString::fromLocal8Bit(strerror(errno)));
    }
    m_reader = std::thread([this] { readEvents(); });
}

void X11GlobalHotKey::removeHandler() {
    stopReader();
    std::lock_guard lock(m_mutex);
    m_handler = {};
}

void X11GlobalHotKey::stopReader() {
    if (!m_reader.joinable())
        return;
    const uint64_t signal = stopSignal;
    [[maybe_unused]] const auto written = write(m_wakeDescriptor, &signal, sizeof signal);
    m_reader.join();
    close(m_wakeDescriptor);
    m_wakeDescriptor = -1;
}

void X11GlobalHotKey::registerHotKey(quint16 virtualKeyCode, quint32 modifiers,
                                     Identifier identifier) {
    xcb_connection_t *c = connection();
    if (!c) {
        throw GlobalHotKeyError(GlobalHotKeyError::Kind::unavailable,
                                QStringLiteral("DISPLAY=") + qEnvironmentVariable("DISPLAY"));
    }
    const auto inputCode = VirtualKeyCode::toInputCode(virtualKeyCode);
    const int keycodeValue = inputCode ? *inputCode + VirtualKeyCode::x11KeycodeOffset : 0;
    const auto keymap = X11Keymap::load(c);
    if (!keymap) {
        throw GlobalHotKeyError(GlobalHotKeyError::Kind::refused,
                                QStringLiteral("the keyboard mapping is unreadable"));
    }
    // Key code 0 would mean "any key".
    if (keycodeValue <= 0 || keycodeValue > 255 || !keymap->isMapped(xcb_keycode_t(keycodeValue))) {
        throw GlobalHotKeyError(GlobalHotKeyError::Kind::unknownKey,
                                QStringLiteral("key %1").arg(virtualKeyCode));
    }
    const auto keycode = xcb_keycode_t(keycodeValue);

    quint16 mask = 0;
    if (modifiers & shiftBit)
        mask |= XCB_MOD_MASK_SHIFT;
    if (modifiers & controlBit)
        mask |= XCB_MOD_MASK_CONTROL;
    if (modifiers & optionBit)
        mask |= keymap->altMask();
    if (modifiers & commandBit)
        mask |= keymap->superMask();
    const quint16 numLock = keymap->numLockMask();
    QList<quint16> variants;
    for (quint16 locks :
         {quint16(0), quint16(XCB_MOD_MASK_LOCK), numLock, quint16(XCB_MOD_MASK_LOCK | numLock)}) {
        if (!variants.contains(mask | locks))
            variants.append(mask | locks);
    }

    // One combination at a time: whatever was held before is let go.
    std::optional<Registration> previous;
    {
        std::lock_guard lock(m_mutex);
        previous = std::exchange(m_registration, std::nullopt);
    }
    if (previous)
        ungrab(previous->keycode, previous->grabbed);

    std::vector<xcb_void_cookie_t> cookies;
    for (quint16 variant : std::as_const(variants)) {
        cookies.push_back(xcb_grab_key_checked(c, 1, m_x->root(), variant, keycode,
                                               XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    }
    QList<quint16> grabbed;
    std::optional<quint8> errorCode;
    for (size_t index = 0; index < cookies.size(); ++index) {
        auto error = xcbReply(xcb_request_check(c, cookies[index]));
        if (error) {
            if (!errorCode)
                errorCode = error->error_code;
        } else {
            grabbed.append(variants[qsizetype(index)]);
        }
    }
    if (errorCode) {
        ungrab(keycode, grabbed);
        xcb_flush(c);
        const QString detail = *errorCode == XCB_ACCESS
                                   ? QStringLiteral("BadAccess")
                                   : QStringLiteral("X error %1").arg(*errorCode);
        throw GlobalHotKeyError(*errorCode == XCB_ACCESS ? GlobalHotKeyError::Kind::alreadyTaken
                                                         : GlobalHotKeyError::Kind::refused,
                                detail);
    }

    Registration registration;
    registration.identifier = identifier;
    registration.keycode = keycode;
    registration.modifiers = mask;
    registration.grabbed = grabbed;
    {
        std::lock_guard lock(m_mutex);
        m_registration = std::move(registration);
    }
    // The round trips above may have queued events the reader has not seen.
    if (m_reader.joinable()) {
        const uint64_t signal = drainSignal;
        [[maybe_unused]] const auto written = write(m_wakeDescriptor, &signal, sizeof signal);
    }
}

void X11GlobalHotKey::unregisterHotKey(Identifier identifier) {
    std::optional<Registration> registration;
    {
        std::lock_guard lock(m_mutex);
        if (!m_registration || !(m_registration->identifier == identifier))
            return;
        registration = std::exchange(m_registration, std::nullopt);
    }
    if (!m_x || xcb_connection_has_error(m_x->connection()))
        return;
    ungrab(registration->keycode, registration->grabbed);
    xcb_flush(m_x->connection());
}

void X11GlobalHotKey::ungrab(xcb_keycode_t keycode, const QList<quint16> &modifierSets) {
    for (quint16 modifiers : modifierSets)
        xcb_ungrab_key(m_x->connection(), keycode, m_x->root(), modifiers);
}

void X11GlobalHotKey::readEvents() {
    xcb_connection_t *c = m_x->connection();
    pollfd descriptors[2] = {{xcb_get_file_descriptor(c), POLLIN, 0},
                             {m_wakeDescriptor, POLLIN, 0}};
    for (;;) {
        while (xcb_generic_event_t *event = xcb_poll_for_event(c)) {
            const auto type = event->response_type & ~0x80;
            if (type == XCB_KEY_PRESS)
                handleKeyPress(*reinterpret_cast<xcb_key_press_event_t *>(event));
            else if (type == XCB_KEY_RELEASE)
                handleKeyRelease(*reinterpret_cast<xcb_key_release_event_t *>(event));
            std::free(event);
        }
        if (xcb_connection_has_error(c))
            return;
        if (poll(descriptors, 2, -1) < 0 && errno != EINTR)
            return;
        if (descriptors[1].revents & POLLIN) {
            uint64_t signal = 0;
            if (read(m_wakeDescriptor, &signal, sizeof signal) == sizeof signal &&
                signal >= stopSignal)
                return;
        }
    }
}

void X11GlobalHotKey::handleKeyPress(const xcb_key_press_event_t &event) {
    PressHandler handler;
    Identifier identifier;
    {
        std::lock_guard lock(m_mutex);
        if (!m_registration || event.detail != m_registration->keycode)
            return;
        // The lock modifiers were grabbed in every state; only the real
        // ones must match.
        const quint16 pressed = event.state & modifierBits;
        quint16 locks = 0;
        for (quint16 variant : std::as_const(m_registration->grabbed))
            locks |= variant & ~m_registration->modifiers;
        if ((pressed & ~locks) != m_registration->modifiers || m_registration->isHeld)
            return;
        m_registration->isHeld = true;
        handler = m_handler;
        identifier = m_registration->identifier;
    }
    if (handler)
        handler(identifier);
}

void X11GlobalHotKey::handleKeyRelease(const xcb_key_release_event_t &event) {
    {
        std::lock_guard lock(m_mutex);
        if (!m_registration || event.detail != m_registration->keycode)
            return;
    }
    // Auto-repeat sends a release and the next press together with one
    // timestamp. After a round trip that press, if there is one, is queued.
    xcb_connection_t *c = m_x->connection();
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    xcb_generic_event_t *next = xcb_poll_for_queued_event(c);
    if (next && (next->response_type & ~0x80) == XCB_KEY_PRESS) {
        const auto *press = reinterpret_cast<const xcb_key_press_event_t *>(next);
        if (press->detail == event.detail && press->time == event.time) {
            std::free(next);
            return;
        }
    }
    {
        std::lock_guard lock(m_mutex);
        if (m_registration && m_registration->keycode == event.detail)
            m_registration->isHeld = false;
    }
    if (!next)
        return;
    const auto type = next->response_type & ~0x80;
    if (type == XCB_KEY_PRESS)
        handleKeyPress(*reinterpret_cast<xcb_key_press_event_t *>(next));
    else if (type == XCB_KEY_RELEASE)
        handleKeyRelease(*reinterpret_cast<xcb_key_release_event_t *>(next));
    std::free(next);
}

} // namespace tovalit
