#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <linux/input.h>
#include <memory>

struct libevdev;

namespace tovalit {

// One keyboard under /dev/input, open for reading (never grabbed: the
// rest of the desktop keeps seeing every key). Event times are taken on
// the monotonic clock.
class EvdevKeyboard {
public:
    // Nothing when the device cannot be read or is not a keyboard (a mouse,
    // a power button, a lid switch).
    static std::unique_ptr<EvdevKeyboard> open(const QString &path);
    // The event devices of `directory` ("event0" …), sorted.
    static QStringList devicePaths(const QString &directory);
    // Whether at least one keyboard there can be read.
    static bool anyReadable(const QString &directory);

    ~EvdevKeyboard();
    EvdevKeyboard(const EvdevKeyboard &) = delete;
    EvdevKeyboard &operator=(const EvdevKeyboard &) = delete;

    int descriptor() const { return m_descriptor; }
    QString path() const { return m_path; }
    // Whether its key bits include the Fn key. Many keyboards handle Fn in
    // their firmware and never report it.
    bool reportsFunctionKey() const;

    // Hands every event waiting on the device to `deliver`; after events
    // were dropped by the kernel, the device's state is synchronised first
    // (a release that was lost arrives then). False once the device is
    // gone.
    bool readPending(const std::function<void(const input_event &event)> &deliver);

private:
    EvdevKeyboard(int descriptor, libevdev *device, QString path);

    int m_descriptor;
    libevdev *m_device;
    QString m_path;
};

} // namespace tovalit
