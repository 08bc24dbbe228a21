#pragma once

#include "platform/key_sender.h"

#include <functional>

namespace tovalit {

// Counts paste shortcuts, for tests; `onPaste` plays the focused
// application's part (and says whether the keys could be sent).
class RecordingKeySender final : public KeySender {
public:
    bool sendPasteShortcut() override {
        ++m_pasteCount;
        return onPaste ? onPaste() : true;
    }

    int pasteCount() const { return m_pasteCount; }

    std::function<bool()> onPaste;

private:
    int m_pasteCount = 0;
};

} // namespace tovalit
