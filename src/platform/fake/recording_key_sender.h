#pragma once

#include "platform/key_sender.h"

#include <QList>

#include <functional>

namespace tovalit {

// Counts paste shortcuts, for tests; `onPaste` plays the focused
// application's part (and says whether the keys could be sent).
class RecordingKeySender final : public KeySender {
public:
    bool sendPasteShortcut() override { return sendPasteKeys(PasteKeys::controlV); }
    bool sendPasteKeys(PasteKeys keys) override {
        ++m_pasteCount;
        m_pastedKeys.append(keys);
        return onPaste ? onPaste() : true;
    }

    int pasteCount() const { return m_pasteCount; }
    // The keys of each paste, in order.
    QList<PasteKeys> pastedKeys() const { return m_pastedKeys; }

    std::function<bool()> onPaste;

private:
    int m_pasteCount = 0;
    QList<PasteKeys> m_pastedKeys;
};

} // namespace tovalit
