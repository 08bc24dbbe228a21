#include "platform/linux/evdev_keyboard.h"

#include <QDir>

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <libevdev/libevdev.h>
#include <unistd.h>

namespace tovalit {

namespace {

bool isKeyboard(const libevdev *device) {
    if (!libevdev_has_event_type(device, EV_KEY))
        return false;
    return libevdev_has_event_code(device, EV_KEY, KEY_FN) ||
           (libevdev_has_event_code(device, EV_KEY, KEY_A) &&
            libevdev_has_event_code(device, EV_KEY, KEY_SPACE));
}

} // namespace

std::unique_ptr<EvdevKeyboard> EvdevKeyboard::open(const QString &path) {
    const int descriptor =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0)
        return nullptr;
    libevdev *device = nullptr;
    if (libevdev_new_from_fd(descriptor, &device) < 0) {
        ::close(descriptor);
        return nullptr;
    }
    if (!isKeyboard(device)) {
        libevdev_free(device);
        ::close(descriptor);
        return nullptr;
    }
    // Comparable with the monotonic clock that times the press delay.
    libevdev_set_clock_id(device, CLOCK_MONOTONIC);
    return std::unique_ptr<EvdevKeyboard>(new EvdevKeyboard(descriptor, device, path));
}

QStringList EvdevKeyboard::devicePaths(const QString &directory) {
    QStringList paths;
    const QDir folder(directory);
    const QStringList names =
        folder.entryList({QStringLiteral("event*")}, QDir::System | QDir::Files, QDir::Name);
    for (const QString &name : names)
        paths.append(folder.filePath(name));
    return paths;
}

bool EvdevKeyboard::anyReadable(const QString &directory) {
    const QStringList paths = devicePaths(directory);
    for (const QString &path : paths) {
        if (open(path))
            return true;
    }
    return false;
}

EvdevKeyboard::EvdevKeyboard(int descriptor, libevdev *device, QString path)
    : m_descriptor(descriptor)
    , m_device(device)
    , m_path(std::move(path)) {}

bool EvdevKeyboard::reportsFunctionKey() const {
    return libevdev_has_event_code(m_device, EV_KEY, KEY_FN);
}

EvdevKeyboard::~EvdevKeyboard() {
    libevdev_free(m_device);
    ::close(m_descriptor);
}

bool EvdevKeyboard::readPending(const std::function<void(const input_event &event)> &deliver) {
    input_event event{};
    for (;;) {
        int status = libevdev_next_event(m_device, LIBEVDEV_READ_FLAG_NORMAL, &event);
        if (status == LIBEVDEV_READ_STATUS_SYNC) {
            // The kernel's buffer overflowed: replay the differences.
            while (status == LIBEVDEV_READ_STATUS_SYNC) {
                deliver(event);
                status = libevdev_next_event(m_device, LIBEVDEV_READ_FLAG_SYNC, &event);
            }
            if (status == -EAGAIN)
                continue;
        }
        if (status == LIBEVDEV_READ_STATUS_SUCCESS) {
            deliver(event);
            continue;
        }
        return status == -EAGAIN;
    }
}

} // namespace tovalit
