#include "platform/fake/fake_function_key_source.h"

#include "platform/virtual_key_code.h"

#include <cmath>

namespace tovalit {

namespace {

quint64 nanoseconds(double seconds) {
    return quint64(std::llround(seconds * 1e9));
}

} // namespace

void FakeFunctionKeySource::refuseStarts(bool refuse, FunctionKeyTapStart why) {
    std::lock_guard lock(m_mutex);
    m_refusal.reset();
    if (refuse)
        m_refusal = why;
}

bool FakeFunctionKeySource::isRunning() const {
    std::lock_guard lock(m_mutex);
    return bool(m_handler);
}

int FakeFunctionKeySource::startCount() const {
    std::lock_guard lock(m_mutex);
    return m_starts;
}

int FakeFunctionKeySource::stopCount() const {
    std::lock_guard lock(m_mutex);
    return m_stops;
}

int FakeFunctionKeySource::enableCount() const {
    std::lock_guard lock(m_mutex);
    return m_enables;
}

std::optional<FunctionKeyEventTapConfiguration> FakeFunctionKeySource::lastConfiguration() const {
    std::lock_guard lock(m_mutex);
    return m_configuration;
}

std::optional<FunctionKeyEventDisposition>
FakeFunctionKeySource::send(const KeyboardTapEvent &event) {
    Handler handler;
    {
        std::lock_guard lock(m_mutex);
        handler = m_handler;
    }
    if (!handler)
        return std::nullopt;
    return handler(event);
}

std::optional<FunctionKeyEventDisposition> FakeFunctionKeySource::functionDown(double seconds) {
    return send({KeyboardTapEvent::Type::flagsChanged, VirtualKeyCode::function,
                 ModifierFlag::function, nanoseconds(seconds)});
}

std::optional<FunctionKeyEventDisposition> FakeFunctionKeySource::functionUp(double seconds) {
    return send(
        {KeyboardTapEvent::Type::flagsChanged, VirtualKeyCode::function, 0, nanoseconds(seconds)});
}

std::optional<FunctionKeyEventDisposition> FakeFunctionKeySource::keyDown(quint16 keyCode,
                                                                          double seconds) {
    return send({KeyboardTapEvent::Type::keyDown, keyCode, 0, nanoseconds(seconds)});
}

FunctionKeyTapStart
FakeFunctionKeySource::start(const FunctionKeyEventTapConfiguration &configuration,
                             Handler handler) {
    std::lock_guard lock(m_mutex);
    ++m_starts;
    m_configuration = configuration;
    if (m_refusal)
        return *m_refusal;
    m_handler = std::move(handler);
    return FunctionKeyTapStart::started;
}

void FakeFunctionKeySource::stop() {
    std::lock_guard lock(m_mutex);
    ++m_stops;
    m_handler = {};
}

void FakeFunctionKeySource::enable() {
    std::lock_guard lock(m_mutex);
    ++m_enables;
}

} // namespace tovalit
