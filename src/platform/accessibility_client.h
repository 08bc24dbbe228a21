#pragma once

#include "platform/accessibility_element.h"

namespace tovalit {

class AccessibilityThread;

// The entry points of the accessibility interface: the trust check and the
// two starting elements from which every other element is reached. All
// calls, and every call on the elements they hand out, happen on thread().
class AccessibilityClient {
public:
    virtual ~AccessibilityClient() = default;

    virtual AccessibilityThread &thread() = 0;

    // Whether this process may read other applications' trees, asked anew
    // at every call.
    virtual bool isProcessTrusted() = 0;
    // The application with this process identifier. An element is handed
    // out even when no such application is reachable; it then answers
    // nothing.
    virtual AccessibilityElementRef applicationElement(qint32 processIdentifier) = 0;
    // The whole desktop: answers the focused element and window of the
    // application the user is working in.
    virtual AccessibilityElementRef systemWideElement() = 0;
};

} // namespace tovalit
