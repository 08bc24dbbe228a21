#pragma once

// What the benchmarks see of the editor they dictate into, read from
// outside the application as another accessibility client and from the X
// server.

#include "platform/linux/atspi_bus.h"

#include <QString>

#include <memory>
#include <optional>

namespace tovalit {
class AccessibilityThread;
class AtspiAccessibilityClient;
class X11WindowSystem;
} // namespace tovalit

namespace tovalit::bench {

class EditorWatch {
public:
    EditorWatch();
    ~EditorWatch();
    EditorWatch(const EditorWatch &) = delete;
    EditorWatch &operator=(const EditorWatch &) = delete;

    // The value of the process's focused element.
    std::optional<QString> text(qint32 pid);

    // The text of the paragraph the caret of the focused rich-text editor
    // is in, read straight from the bus: a few calls however long the
    // editor, so that the watch does not slow down the page it watches.
    std::optional<QString> caretParagraph(qint32 pid);

    // Whether the process's focused element is editable and shows a
    // caret. None of its text is read: the first read of a paragraph is
    // what the application's own capture should meet.
    bool caretShows(qint32 pid);

    std::optional<qint32> focusedProcess();

    // The title of the process's front X11 window, as a page's script set
    // it; the browser's name after it is left off.
    std::optional<QString> pageTitle(qint32 pid);

private:
    std::shared_ptr<AccessibilityThread> m_thread;
    std::shared_ptr<X11WindowSystem> m_windows;
    std::shared_ptr<AtspiAccessibilityClient> m_client;
    std::shared_ptr<AtspiBus> m_bus;
};

} // namespace tovalit::bench
