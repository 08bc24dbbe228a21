#pragma once

#include "platform/function_key_source.h"

#include <QList>
#include <QString>

#include <atomic>
#include <memory>
#include <thread>

namespace tovalit {

// The Fn key (KEY_FN) and the other keys of every readable keyboard under
// /dev/input, read on a thread of our own; keyboards plugged in later are
// picked up as they appear. It starts only when at least one keyboard can
// report Fn. The input layer only lets us listen, so every
// disposition is ignored: nothing is ever held back from the desktop
// (which on Linux gives the bare Fn key no action of its own).
class EvdevFunctionKeySource final : public FunctionKeySource {
public:
    // A descriptor that carries raw `input_event` records without being a
    // device (the read end of a pipe), read like a keyboard's.
    struct EventStream {
        int descriptor = -1;
        // What a device would tell through its key bits: whether its
        // keyboard can report the Fn key.
        bool reportsFunctionKey = true;
    };

    struct Options {
        QString deviceDirectory = QStringLiteral("/dev/input");
        // Read beside the devices; the source closes them when it stops.
        QList<EventStream> eventStreams;
    };

    EvdevFunctionKeySource();
    explicit EvdevFunctionKeySource(Options options);
    ~EvdevFunctionKeySource() override;
    EvdevFunctionKeySource(const EvdevFunctionKeySource &) = delete;
    EvdevFunctionKeySource &operator=(const EvdevFunctionKeySource &) = delete;

    // Unavailable when there is no keyboard to read, noFunctionKey when
    // none of them can report Fn.
    FunctionKeyTapStart start(const FunctionKeyEventTapConfiguration &configuration,
                              Handler handler) override;
    void stop() override;
    void enable() override {}

private:
    class Reader;

    Options m_options;
    std::unique_ptr<Reader> m_reader;
};

} // namespace tovalit
