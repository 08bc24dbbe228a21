#include "app/qt_application_keyboard.h"

#include "platform/function_key_source.h"
#include "platform/linux/evdev_function_key_source.h"
#include "platform/virtual_key_code.h"

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QKeySequence>

#include <linux/input-event-codes.h>

namespace tovalit {

namespace {

bool isModifierKey(int key) {
    switch (key) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
    case Qt::Key_CapsLock:
        return true;
    default:
        return false;
    }
}

quint64 modifierFlags(Qt::KeyboardModifiers modifiers) {
    quint64 flags = 0;
    if (modifiers & Qt::ShiftModifier)
        flags |= ModifierFlag::shift;
    if (modifiers & Qt::ControlModifier)
        flags |= ModifierFlag::control;
    if (modifiers & Qt::AltModifier)
        flags |= ModifierFlag::option;
    if (modifiers & Qt::MetaModifier)
        flags |= ModifierFlag::command;
    return flags;
}

// For events that carry no scan code (synthesised ones): the key's
// position on a US layout.
std::optional<int> inputCodeOfQtKey(int key) {
    static const QHash<int, int> codes{
        {Qt::Key_A, KEY_A},
        {Qt::Key_B, KEY_B},
        {Qt::Key_C, KEY_C},
        {Qt::Key_D, KEY_D},
        {Qt::Key_E, KEY_E},
        {Qt::Key_F, KEY_F},
        {Qt::Key_G, KEY_G},
        {Qt::Key_H, KEY_H},
        {Qt::Key_I, KEY_I},
        {Qt::Key_J, KEY_J},
        {Qt::Key_K, KEY_K},
        {Qt::Key_L, KEY_L},
        {Qt::Key_M, KEY_M},
        {Qt::Key_N, KEY_N},
        {Qt::Key_O, KEY_O},
        {Qt::Key_P, KEY_P},
        {Qt::Key_Q, KEY_Q},
        {Qt::Key_R, KEY_R},
        {Qt::Key_S, KEY_S},
        {Qt::Key_T, KEY_T},
        {Qt::Key_U, KEY_U},
        {Qt::Key_V, KEY_V},
        {Qt::Key_W, KEY_W},
        {Qt::Key_X, KEY_X},
        {Qt::Key_Y, KEY_Y},
        {Qt::Key_Z, KEY_Z},
        {Qt::Key_0, KEY_0},
        {Qt::Key_1, KEY_1},
        {Qt::Key_2, KEY_2},
        {Qt::Key_3, KEY_3},
        {Qt::Key_4, KEY_4},
        {Qt::Key_5, KEY_5},
        {Qt::Key_6, KEY_6},
        {Qt::Key_7, KEY_7},
        {Qt::Key_8, KEY_8},
        {Qt::Key_9, KEY_9},
        {Qt::Key_Space, KEY_SPACE},
        {Qt::Key_Return, KEY_ENTER},
        {Qt::Key_Enter, KEY_KPENTER},
        {Qt::Key_Tab, KEY_TAB},
        {Qt::Key_Backtab, KEY_TAB},
        {Qt::Key_Backspace, KEY_BACKSPACE},
        {Qt::Key_Escape, KEY_ESC},
        {Qt::Key_Delete, KEY_DELETE},
        {Qt::Key_Left, KEY_LEFT},
        {Qt::Key_Right, KEY_RIGHT},
        {Qt::Key_Up, KEY_UP},
        {Qt::Key_Down, KEY_DOWN},
        {Qt::Key_Home, KEY_HOME},
        {Qt::Key_End, KEY_END},
        {Qt::Key_PageUp, KEY_PAGEUP},
        {Qt::Key_PageDown, KEY_PAGEDOWN},
        {Qt::Key_Minus, KEY_MINUS},
        {Qt::Key_Equal, KEY_EQUAL},
        {Qt::Key_BracketLeft, KEY_LEFTBRACE},
        {Qt::Key_BracketRight, KEY_RIGHTBRACE},
        {Qt::Key_Semicolon, KEY_SEMICOLON},
        {Qt::Key_Apostrophe, KEY_APOSTROPHE},
        {Qt::Key_Comma, KEY_COMMA},
        {Qt::Key_Period, KEY_DOT},
        {Qt::Key_Slash, KEY_SLASH},
        {Qt::Key_Backslash, KEY_BACKSLASH},
        {Qt::Key_QuoteLeft, KEY_GRAVE},
        {Qt::Key_Shift, KEY_LEFTSHIFT},
        {Qt::Key_Control, KEY_LEFTCTRL},
        {Qt::Key_Alt, KEY_LEFTALT},
        {Qt::Key_Meta, KEY_LEFTMETA},
        {Qt::Key_CapsLock, KEY_CAPSLOCK},
        {Qt::Key_F1, KEY_F1},
        {Qt::Key_F2, KEY_F2},
        {Qt::Key_F3, KEY_F3},
        {Qt::Key_F4, KEY_F4},
        {Qt::Key_F5, KEY_F5},
        {Qt::Key_F6, KEY_F6},
        {Qt::Key_F7, KEY_F7},
        {Qt::Key_F8, KEY_F8},
        {Qt::Key_F9, KEY_F9},
        {Qt::Key_F10, KEY_F10},
        {Qt::Key_F11, KEY_F11},
        {Qt::Key_F12, KEY_F12},
    };
    const auto it = codes.constFind(key);
    if (it == codes.constEnd())
        return std::nullopt;
    return *it;
}

quint16 virtualKeyCode(const QKeyEvent &event) {
    const quint32 scanCode = event.nativeScanCode();
    if (scanCode > quint32(VirtualKeyCode::x11KeycodeOffset)) {
        if (auto code =
                VirtualKeyCode::fromInputCode(int(scanCode) - VirtualKeyCode::x11KeycodeOffset))
            return *code;
    }
    if (auto inputCode = inputCodeOfQtKey(event.key())) {
        if (auto code = VirtualKeyCode::fromInputCode(*inputCode))
            return *code;
    }
    return VirtualKeyCode::unknown;
}

// What the key types with Shift at most: Qt's key is already free of
// Control, Alt and Meta. Keys that type nothing but have a place in the
// stored numbering (F5, Home …) go by their names.
std::optional<QString> charactersIgnoringModifiers(int key, quint16 keyCode) {
    if (key > 0 && key < Qt::Key_Escape) {
        const auto codePoint = char32_t(key);
        if (QChar::isPrint(codePoint))
            return QString::fromUcs4(&codePoint, 1);
        return std::nullopt;
    }
    if (keyCode == VirtualKeyCode::unknown || key >= Qt::Key_Dead_Grave)
        return std::nullopt;
    const QString name = QKeySequence(key).toString(QKeySequence::NativeText);
    if (name.isEmpty())
        return std::nullopt;
    return name;
}

} // namespace

QtApplicationKeyboard::QtApplicationKeyboard(QObject *parent)
    : QtApplicationKeyboard([] { return std::make_shared<EvdevFunctionKeySource>(); }, parent) {}

QtApplicationKeyboard::QtApplicationKeyboard(FunctionKeySourceFactory makeFunctionKeySource,
                                             QObject *parent)
    : QObject(parent)
    , m_makeFunctionKeySource(std::move(makeFunctionKeySource)) {}

QtApplicationKeyboard::~QtApplicationKeyboard() {
    stopFunctionKeys();
    if (!m_monitors.isEmpty())
        QCoreApplication::instance()->removeEventFilter(this);
}

ApplicationKeyboard::MonitorToken QtApplicationKeyboard::addLocalMonitor(Monitor monitor) {
    if (m_monitors.isEmpty()) {
        QCoreApplication::instance()->installEventFilter(this);
        startFunctionKeys();
    }
    const MonitorToken token = m_nextToken++;
    m_monitors.append({token, std::move(monitor)});
    return token;
}

void QtApplicationKeyboard::removeMonitor(MonitorToken token) {
    const bool removed =
        m_monitors.removeIf([token](const auto &entry) { return entry.first == token; }) > 0;
    if (removed && m_monitors.isEmpty()) {
        QCoreApplication::instance()->removeEventFilter(this);
        stopFunctionKeys();
    }
}

void QtApplicationKeyboard::beep() {
    QApplication::beep();
}

std::optional<LocalKeyEvent> QtApplicationKeyboard::translate(const QKeyEvent &event) {
    const int key = event.key();
    const bool isModifier = isModifierKey(key);
    if (event.type() == QEvent::KeyRelease) {
        if (!isModifier)
            return std::nullopt;
    } else if (event.type() != QEvent::KeyPress) {
        return std::nullopt;
    }
    LocalKeyEvent result;
    result.type = isModifier ? LocalKeyEvent::Type::flagsChanged : LocalKeyEvent::Type::keyDown;
    result.keyCode = virtualKeyCode(event);
    result.modifierFlags = modifierFlags(event.modifiers());
    if (!isModifier)
        result.charactersIgnoringModifiers = charactersIgnoringModifiers(key, result.keyCode);
    return result;
}

bool QtApplicationKeyboard::eventFilter(QObject *watched, QEvent *event) {
    if (m_monitors.isEmpty())
        return false;
    switch (event->type()) {
    case QEvent::ShortcutOverride:
        // Claimed for the focused widget, so no application shortcut runs
        // ahead of the monitors; the press itself comes next.
        event->accept();
        return true;
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        // A key event reaches its window first, then the focused widget
        // and its parents; the monitors see it once, at the window.
        if (!watched->isWindowType())
            return false;
        const auto translated = translate(*static_cast<QKeyEvent *>(event));
        return translated && dispatch(*translated);
    }
    default:
        return false;
    }
}

bool QtApplicationKeyboard::dispatch(const LocalKeyEvent &event) {
    std::optional<LocalKeyEvent> current = event;
    // A monitor may remove itself (or another) while it runs.
    const auto monitors = m_monitors;
    for (auto it = monitors.crbegin(); it != monitors.crend(); ++it) {
        current = it->second(*current);
        if (!current)
            return true;
    }
    return false;
}

void QtApplicationKeyboard::startFunctionKeys() {
    if (!m_makeFunctionKeySource)
        return;
    m_functionKeys = m_makeFunctionKeySource();
    const FunctionKeyEventTapConfiguration listening{EventTapLocation::session,
                                                     EventTapPlacement::tailAppend,
                                                     EventTapOptions::listenOnly, true, false};
    const bool started =
        m_functionKeys && m_functionKeys->start(listening, [this](const KeyboardTapEvent &tap) {
            if (tap.type == KeyboardTapEvent::Type::flagsChanged &&
                tap.keyCode == VirtualKeyCode::function) {
                const LocalKeyEvent event{LocalKeyEvent::Type::flagsChanged, tap.keyCode, tap.flags,
                                          std::nullopt};
                QMetaObject::invokeMethod(
                    this,
                    [this, event] {
                        if (QGuiApplication::applicationState() == Qt::ApplicationActive &&
                            !m_monitors.isEmpty())
                            dispatch(event);
                    },
                    Qt::QueuedConnection);
            }
            return FunctionKeyEventDisposition::passThrough;
        }) == FunctionKeyTapStart::started;
    if (!started)
        m_functionKeys.reset();
}

void QtApplicationKeyboard::stopFunctionKeys() {
    if (auto source = std::exchange(m_functionKeys, nullptr))
        source->stop();
}

} // namespace tovalit
