#pragma once

#include "platform/accessibility_client.h"
#include "platform/embedded_object_text_element.h"
#include "platform/linux/atspi_bus.h"

#include <functional>
#include <memory>

namespace tovalit {

// The accessibility interface on the session's AT-SPI 2 bus.
//
// We speak AT-SPI over our own D-Bus connection instead of through
// libatspi: libatspi attaches its per-application connections to the
// process-wide default GLib context, which Qt's GUI thread iterates, so its
// callbacks would run on the GUI thread while the accessibility thread
// uses the same caches.
class AtspiAccessibilityClient final : public AccessibilityClient {
public:
    // `thread` may be shared with other users of the accessibility thread.
    // `windowSystemFocus`, asked on that thread, tells which window the
    // user types in where an application marks none of its own active.
    explicit AtspiAccessibilityClient(std::shared_ptr<AccessibilityThread> thread,
                                      std::function<WindowSystemFocus()> windowSystemFocus = {},
                                      int callTimeoutMilliseconds = 800);
    ~AtspiAccessibilityClient() override;

    AccessibilityThread &thread() override;
    bool isProcessTrusted() override;
    AccessibilityElementRef applicationElement(qint32 processIdentifier) override;
    AccessibilityElementRef systemWideElement() override;

private:
    std::shared_ptr<AccessibilityThread> m_thread;
    std::shared_ptr<AtspiBus> m_bus;
    // What rich-text editors' elements were found to embed, from one
    // dictation to the next.
    std::shared_ptr<EmbeddedObjectTextElement::Knowledge> m_knowledge;
};

} // namespace tovalit
