#pragma once

#include "platform/function_key_source.h"

#include <mutex>
#include <optional>

namespace tovalit {

// A keyboard tap for tests: events are sent by the test, on the test's
// thread, and the handler's dispositions come back to it.
class FakeFunctionKeySource final : public FunctionKeySource {
public:
    // Later starts fail with `why` (unavailable when not given).
    void refuseStarts(bool refuse, FunctionKeyTapStart why = FunctionKeyTapStart::unavailable);

    bool isRunning() const;
    int startCount() const;
    int stopCount() const;
    int enableCount() const;
    std::optional<FunctionKeyEventTapConfiguration> lastConfiguration() const;

    // The handler's answer, or nothing while the tap is not running.
    std::optional<FunctionKeyEventDisposition> send(const KeyboardTapEvent &event);
    // Fn going down or up, and another key going down, as taps report them.
    std::optional<FunctionKeyEventDisposition> functionDown(double seconds);
    std::optional<FunctionKeyEventDisposition> functionUp(double seconds);
    std::optional<FunctionKeyEventDisposition> keyDown(quint16 keyCode, double seconds);

    FunctionKeyTapStart start(const FunctionKeyEventTapConfiguration &configuration,
                              Handler handler) override;
    void stop() override;
    void enable() override;

private:
    mutable std::mutex m_mutex;
    std::optional<FunctionKeyTapStart> m_refusal;
    Handler m_handler;
    std::optional<FunctionKeyEventTapConfiguration> m_configuration;
    int m_starts = 0;
    int m_stops = 0;
    int m_enables = 0;
};

} // namespace tovalit
