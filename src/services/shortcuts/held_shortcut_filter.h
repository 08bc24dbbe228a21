#pragma once

#include "platform/desktop_keyboard_settings.h"

#include <optional>

namespace tovalit {

// Tells the repeats of a held shortcut from new presses. Desktops that
// hold the shortcut for us send it again at each repeat of its keys (the
// first after the repeat delay, longer than the shortest recording a
// press may stop), so without this one long press would start a recording
// and stop it. Times are seconds on one monotonic clock.
class HeldShortcutFilter {
public:
    enum class Press {
        // Keys that went down anew.
        fresh,
        // The first repeat of a held press, then the others.
        firstRepeat,
        repeat,
    };

    // How much later than the desktop's settings say a repeat may still
    // arrive: the desktop, the launch of our command and the bus all add
    // their own delays.
    static constexpr double lateness = 0.15;
    // Where the desktop's settings do not say: at least as slow as the
    // desktops' own defaults (the X server's 660 ms and 25 a second).
    static constexpr KeyRepeat unknownRepeat{true, 0.66, 0.04};

    // A shortcut that tells when its keys go up (the desktop portal's):
    // its keys went down at `at`. Held keys go down again at each repeat
    // until they go up; a shortcut whose keys never come up is taken for
    // released once no repeat came for longer than the delay.
    Press keysDown(double at, const KeyRepeat &repeat);
    void keysUp();
    // A shortcut that carries no release (a command the desktop runs): a
    // trigger within the repeat delay of the one before, or within the
    // repeat interval of a repeat, belongs to the same press. Conservative:
    // a second tap that quick is taken for a repeat.
    Press triggered(double at, const KeyRepeat &repeat);
    // Forgets every press (the shortcut was installed anew).
    void reset();

private:
    std::optional<double> m_lastAt;
    bool m_isDown = false;
    bool m_isRepeating = false;
};

} // namespace tovalit
