#include "platform/linux/evdev_function_key_source.h"

#include "platform/linux/evdev_keyboard.h"
#include "platform/virtual_key_code.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>
#include <vector>

namespace tovalit {

class EvdevFunctionKeySource::Reader {
public:
    // Takes `wake`, an eventfd, and the streams and keyboards.
    Reader(QString directory, const QList<EventStream> &streams, Handler handler,
           std::vector<std::unique_ptr<EvdevKeyboard>> keyboards, int wake);
    ~Reader();
    Reader(const Reader &) = delete;
    Reader &operator=(const Reader &) = delete;

private:
    struct Stream {
        int descriptor = -1;
        QByteArray partial;
    };

    // What one keyboard (or stream) holds down.
    struct HeldKeys {
        bool function = false;
        QList<quint16> modifiers;
    };

    void run();
    void openNewKeyboards();
    bool readStream(Stream &stream);
    void translate(const input_event &event, HeldKeys &held);
    // A keyboard that went away never reports its releases: they are made
    // here, so that Fn is not left held.
    void forget(int descriptor);
    quint64 currentFlags() const;
    static quint64 modifierFlag(quint16 key);

    Handler m_handler;
    QString m_directory;
    std::vector<std::unique_ptr<EvdevKeyboard>> m_keyboards;
    std::vector<Stream> m_streams;
    int m_wake = -1;
    int m_inotify = -1;
    // By keyboard (or stream) descriptor. The flags are taken over all of
    // them: Fn on one and a letter on another is still a chord.
    std::map<int, HeldKeys> m_held;
    std::thread m_thread;
};

EvdevFunctionKeySource::Reader::Reader(QString directory, const QList<EventStream> &streams,
                                       Handler handler,
                                       std::vector<std::unique_ptr<EvdevKeyboard>> keyboards,
                                       int wake)
    : m_handler(std::move(handler))
    , m_directory(std::move(directory))
    , m_keyboards(std::move(keyboards))
    , m_wake(wake) {
    for (const EventStream &stream : streams)
        m_streams.push_back({stream.descriptor, {}});
    // Without it keyboards plugged in later go unnoticed, nothing worse.
    m_inotify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    // udev creates the node first and opens it to us a moment later.
    if (m_inotify >= 0 && inotify_add_watch(m_inotify, QFile::encodeName(m_directory).constData(),
                                            IN_CREATE | IN_ATTRIB) < 0) {
        close(m_inotify);
        m_inotify = -1;
    }
    m_thread = std::thread([this] { run(); });
}

EvdevFunctionKeySource::Reader::~Reader() {
    const uint64_t signal = 1;
    [[maybe_unused]] const auto written = write(m_wake, &signal, sizeof signal);
    m_thread.join();
    for (const Stream &stream : m_streams)
        close(stream.descriptor);
    if (m_inotify >= 0)
        close(m_inotify);
    close(m_wake);
}

void EvdevFunctionKeySource::Reader::run() {
    std::vector<pollfd> descriptors;
    for (;;) {
        descriptors.clear();
        descriptors.push_back({m_wake, POLLIN, 0});
        descriptors.push_back({m_inotify, POLLIN, 0});
        for (const auto &keyboard : m_keyboards)
            descriptors.push_back({keyboard->descriptor(), POLLIN, 0});
        for (const Stream &stream : m_streams)
            descriptors.push_back({stream.descriptor, POLLIN, 0});

        if (poll(descriptors.data(), nfds_t(descriptors.size()), -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (descriptors[0].revents)
            return;
        if (descriptors[1].revents & POLLIN) {
            char buffer[4096];
            while (read(m_inotify, buffer, sizeof buffer) > 0) {
            }
            openNewKeyboards();
        }

        size_t index = 2;
        std::vector<const EvdevKeyboard *> gone;
        for (const auto &keyboard : m_keyboards) {
            const short events = descriptors[index++].revents;
            if (!events)
                continue;
            HeldKeys &held = m_held[keyboard->descriptor()];
            const bool alive = keyboard->readPending(
                [this, &held](const input_event &event) { translate(event, held); });
            if (!alive || (events & (POLLHUP | POLLERR | POLLNVAL)))
                gone.push_back(keyboard.get());
        }
        for (const EvdevKeyboard *keyboard : gone)
            forget(keyboard->descriptor());
        std::erase_if(m_keyboards, [&gone](const auto &keyboard) {
            return std::find(gone.begin(), gone.end(), keyboard.get()) != gone.end();
        });

        std::vector<int> finished;
        for (Stream &stream : m_streams) {
            const short events = descriptors[index++].revents;
            if (events && !readStream(stream))
                finished.push_back(stream.descriptor);
        }
        for (int descriptor : finished)
            forget(descriptor);
        std::erase_if(m_streams, [&finished](const Stream &stream) {
            if (std::find(finished.begin(), finished.end(), stream.descriptor) == finished.end())
                return false;
            close(stream.descriptor);
            return true;
        });
    }
}

void EvdevFunctionKeySource::Reader::openNewKeyboards() {
    const QStringList paths = EvdevKeyboard::devicePaths(m_directory);
    for (const QString &path : paths) {
        const bool known = std::any_of(m_keyboards.begin(), m_keyboards.end(),
                                       [&path](const auto &k) { return k->path() == path; });
        if (known)
            continue;
        if (auto keyboard = EvdevKeyboard::open(path))
            m_keyboards.push_back(std::move(keyboard));
    }
}

bool EvdevFunctionKeySource::Reader::readStream(Stream &stream) {
    char buffer[sizeof(input_event) * 64];
    for (;;) {
        const ssize_t count = read(stream.descriptor, buffer, sizeof buffer);
        if (count == 0)
            return false;
        if (count < 0)
            return errno == EAGAIN || errno == EINTR;
        stream.partial.append(buffer, count);
        qsizetype offset = 0;
        while (stream.partial.size() - offset >= qsizetype(sizeof(input_event))) {
            input_event event{};
            std::memcpy(&event, stream.partial.constData() + offset, sizeof event);
            offset += qsizetype(sizeof event);
            translate(event, m_held[stream.descriptor]);
        }
        stream.partial.remove(0, offset);
        if (count < qsizetype(sizeof buffer))
            return true;
    }
}

void EvdevFunctionKeySource::Reader::forget(int descriptor) {
    const auto found = m_held.find(descriptor);
    if (found == m_held.end())
        return;
    const bool heldFunction = found->second.function;
    m_held.erase(found);
    if (!heldFunction || (currentFlags() & ModifierFlag::function))
        return;
    // No time from the device: the tap times it by its own clock.
    KeyboardTapEvent release;
    release.type = KeyboardTapEvent::Type::flagsChanged;
    release.keyCode = VirtualKeyCode::function;
    release.flags = currentFlags();
    m_handler(release);
}

quint64 EvdevFunctionKeySource::Reader::currentFlags() const {
    quint64 flags = 0;
    for (const auto &[descriptor, held] : m_held) {
        if (held.function)
            flags |= ModifierFlag::function;
        for (quint16 key : held.modifiers)
            flags |= modifierFlag(key);
    }
    return flags;
}

quint64 EvdevFunctionKeySource::Reader::modifierFlag(quint16 key) {
    switch (key) {
    case VirtualKeyCode::shift:
    case VirtualKeyCode::rightShift:
        return ModifierFlag::shift;
    case VirtualKeyCode::control:
    case VirtualKeyCode::rightControl:
        return ModifierFlag::control;
    case VirtualKeyCode::option:
    case VirtualKeyCode::rightOption:
        return ModifierFlag::option;
    case VirtualKeyCode::command:
    case VirtualKeyCode::rightCommand:
        return ModifierFlag::command;
    default:
        return 0;
    }
}

void EvdevFunctionKeySource::Reader::translate(const input_event &event, HeldKeys &held) {
    if (event.type != EV_KEY)
        return;
    // Mouse and joystick buttons on combined devices are not keys.
    if (event.code >= BTN_MISC && event.code < KEY_OK)
        return;
    const bool isDown = event.value != 0;
    KeyboardTapEvent tapEvent;
    tapEvent.timestamp =
        quint64(event.input_event_sec) * 1000000000ull + quint64(event.input_event_usec) * 1000ull;
    const auto virtualKey = VirtualKeyCode::fromInputCode(event.code);
    tapEvent.keyCode = virtualKey.value_or(KeyboardTapEvent::unknownKeyCode);

    if (event.code == KEY_FN) {
        held.function = isDown;
        tapEvent.type = KeyboardTapEvent::Type::flagsChanged;
    } else if (virtualKey && VirtualKeyCode::isModifier(*virtualKey)) {
        // Repeats of a held modifier change nothing.
        if (event.value == 2)
            return;
        if (isDown && !held.modifiers.contains(*virtualKey))
            held.modifiers.append(*virtualKey);
        else if (!isDown)
            held.modifiers.removeAll(*virtualKey);
        tapEvent.type = KeyboardTapEvent::Type::flagsChanged;
    } else {
        tapEvent.type = isDown ? KeyboardTapEvent::Type::keyDown : KeyboardTapEvent::Type::keyUp;
    }
    tapEvent.flags = currentFlags();
    m_handler(tapEvent);
}

EvdevFunctionKeySource::EvdevFunctionKeySource()
    : EvdevFunctionKeySource(Options{}) {}

EvdevFunctionKeySource::EvdevFunctionKeySource(Options options)
    : m_options(std::move(options)) {}

EvdevFunctionKeySource::~EvdevFunctionKeySource() {
    stop();
    for (const EventStream &stream : std::as_const(m_options.eventStreams))
        close(stream.descriptor);
}

FunctionKeyTapStart EvdevFunctionKeySource::start(const FunctionKeyEventTapConfiguration &,
                                                  Handler handler) {
    stop();
    std::vector<std::unique_ptr<EvdevKeyboard>> keyboards;
    const QStringList paths = EvdevKeyboard::devicePaths(m_options.deviceDirectory);
    for (const QString &path : paths) {
        if (auto keyboard = EvdevKeyboard::open(path))
            keyboards.push_back(std::move(keyboard));
    }
    if (keyboards.empty() && m_options.eventStreams.isEmpty())
        return FunctionKeyTapStart::unavailable;
    // The other keyboards are still read (a letter typed on one while Fn
    // is held on another makes a chord), but without one that can report
    // Fn there is nothing to listen for.
    const bool canHearFunctionKey =
        std::any_of(keyboards.begin(), keyboards.end(),
                    [](const auto &keyboard) { return keyboard->reportsFunctionKey(); }) ||
        std::any_of(m_options.eventStreams.begin(), m_options.eventStreams.end(),
                    [](const EventStream &stream) { return stream.reportsFunctionKey; });
    if (!canHearFunctionKey)
        return FunctionKeyTapStart::noFunctionKey;
    // The one way to stop the reader: a reader nothing can wake would make
    // the next restart, or the exit, wait for good.
    const int wake = eventfd(0, EFD_CLOEXEC);
    if (wake < 0)
        return FunctionKeyTapStart::unavailable;
    m_reader = std::make_unique<Reader>(m_options.deviceDirectory,
                                        std::exchange(m_options.eventStreams, {}),
                                        std::move(handler), std::move(keyboards), wake);
    return FunctionKeyTapStart::started;
}

void EvdevFunctionKeySource::stop() {
    m_reader.reset();
}

} // namespace tovalit
