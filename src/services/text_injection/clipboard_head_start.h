#pragma once

#include "services/text_injection/pasteboard_snapshot.h"

#include <QString>

#include <memory>

namespace tovalit {

class Pasteboard;

// The dictated text put on the clipboard before its insertion starts, while
// the delivery still waits for the user's keys to come up. GNOME takes the
// X server's clipboard into its session only some tens of milliseconds
// after it changes (hundreds when it is busy), and a paste into one of its
// native windows waits for that: begun early, the wait overlaps the ones
// paid anyway. The insertion takes it over; when it goes without that (the
// insertion never came, or wrote the text directly), the user's clipboard
// comes back, unless somebody wrote to it since. GUI thread only.
class ClipboardHeadStart {
public:
    // `changeCount` is the clipboard's, read right after `text` was written.
    ClipboardHeadStart(std::shared_ptr<Pasteboard> pasteboard, QString text,
                       PasteboardSnapshot snapshot, qint64 changeCount);
    ~ClipboardHeadStart();
    ClipboardHeadStart(const ClipboardHeadStart &) = delete;
    ClipboardHeadStart &operator=(const ClipboardHeadStart &) = delete;

    const QString &text() const { return m_text; }
    // The user's clipboard before the write.
    const PasteboardSnapshot &snapshot() const { return m_snapshot; }
    // Whether the clipboard still holds the text: nobody wrote since.
    bool stands() const;
    // The insertion answers for the clipboard from now on.
    void takeOver() { m_takenOver = true; }

private:
    std::shared_ptr<Pasteboard> m_pasteboard;
    QString m_text;
    PasteboardSnapshot m_snapshot;
    qint64 m_changeCount;
    bool m_takenOver = false;
};

} // namespace tovalit
