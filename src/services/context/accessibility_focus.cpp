#include "services/context/accessibility_focus.h"

#include "platform/accessibility_client.h"
#include "services/context/focused_element_reader.h"

namespace tovalit {

namespace {

// Deep enough for any toolkit's nesting, and a stop for a tree whose
// parents run in a circle.
constexpr int maxAncestors = 64;

AccessibilityElementRef elementAttribute(AccessibilityElement &element, const QString &attribute) {
    return accessibilityValueAs<AccessibilityElementRef>(element.attributeValue(attribute))
        .value_or(nullptr);
}

// The ancestor of `element` (or the element itself) whose parent is the
// application: the window it sits in.
AccessibilityElementRef windowOf(AccessibilityElementRef element, const QString &application) {
    for (int depth = 0; element && depth < maxAncestors; ++depth) {
        AccessibilityElementRef parent = FocusedElementReader::parent(*element);
        if (parent && parent->identity() == application)
            return element;
        element = parent;
    }
    return nullptr;
}

} // namespace

std::optional<AccessibilityFocus> AccessibilityFocus::read(AccessibilityClient &client) {
    if (!client.isProcessTrusted())
        return std::nullopt;
    const AccessibilityElementRef desktop = client.systemWideElement();
    const AccessibilityElementRef focused = elementAttribute(*desktop, ax::focusedUIElement);
    const AccessibilityElementRef activeWindow = elementAttribute(*desktop, ax::focusedWindow);
    const AccessibilityElementRef anchor = focused ? focused : activeWindow;
    if (!anchor)
        return std::nullopt;
    const std::optional<qint32> processIdentifier = anchor->processIdentifier();
    if (!processIdentifier || *processIdentifier < 1)
        return std::nullopt;

    const AccessibilityElementRef application = client.applicationElement(*processIdentifier);
    AccessibilityFocus focus;
    focus.processIdentifier = *processIdentifier;
    focus.applicationName = FocusedElementReader::stringAttribute(ax::title, *application);
    AccessibilityElementRef window = windowOf(anchor, application->identity());
    if (!window)
        window = activeWindow;
    if (window)
        focus.windowTitle = FocusedElementReader::stringAttribute(ax::title, *window);
    return focus;
}

} // namespace tovalit
