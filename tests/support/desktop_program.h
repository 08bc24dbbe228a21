#pragma once

#include "models/active_interaction_context.h"
#include "platform/accessibility_element.h"
#include "services/context/focused_element_context.h"

#include <QProcess>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace tovalit {
class AccessibilityClient;
} // namespace tovalit

namespace tovalit::testing {

// What the capture of a recording finds of an editor's process.
ActiveInteractionContext editorContext(qint32 pid);

// A desktop program people write in, as Debian installs it, started in a
// process of its own with its accessibility on and stopped when the object
// goes.
class DesktopProgram {
public:
    // On the X server, or native in the Wayland session (Qt programs; GTK
    // ones choose by the session themselves).
    enum class Window { x11, nativeWayland };

    // Nothing when the program is not installed, or (reported to the
    // test) did not start.
    static std::unique_ptr<DesktopProgram>
    start(const QString &program, const QStringList &arguments, Window window = Window::x11);
    ~DesktopProgram();
    qint32 processIdentifier() const { return qint32(m_process.processId()); }

private:
    DesktopProgram() = default;
    QProcess m_process;
};

// What a program's focused element shows, as the program itself says on
// the accessibility bus, read on the thread the insertion reads it on.
class FocusedFieldReader {
public:
    struct Field {
        std::optional<QString> role;
        std::optional<QString> value;
        std::optional<AccessibilityRange> selection;
    };

    explicit FocusedFieldReader(std::shared_ptr<AccessibilityClient> client);

    Field read(qint32 pid);
    // Waits (bounded) until the focused element is `ready`; the failure
    // says what it showed.
    bool waitFor(qint32 pid, const std::function<bool(const Field &)> &ready,
                 const char *description);
    // What the capture of a recording reads of that element.
    FocusedElementContext capture(qint32 pid);

private:
    std::shared_ptr<AccessibilityClient> m_client;
};

} // namespace tovalit::testing
