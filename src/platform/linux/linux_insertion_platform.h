#pragma once

#include <memory>

namespace tovalit {

class KeySender;
class Pasteboard;

// What the insertion needs of the desktop beyond accessibility: the
// clipboard and synthetic keys.
struct InsertionPlatform {
    std::shared_ptr<Pasteboard> pasteboard;
    std::shared_ptr<KeySender> keySender;
    // The PRIMARY selection, which some terminals paste from.
    std::shared_ptr<Pasteboard> primarySelection;
};

// Call on the GUI thread once the QGuiApplication exists. Without an X
// server no key can be sent.
InsertionPlatform makeLinuxInsertionPlatform();

} // namespace tovalit
