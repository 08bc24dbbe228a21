#pragma once

#include "platform/accessibility_client.h"
#include "platform/accessibility_thread.h"
#include "platform/focus_search.h"

#include <QHash>
#include <QSet>

#include <atomic>
#include <functional>
#include <memory>

namespace tovalit {

// An element of an in-memory accessibility tree, for tests. Attributes are
// plain values, every one settable; AXParent and AXChildren come from the
// tree; a text element (one with an AXValue) answers AXStringForRange and
// AXBoundsForRange from its value and `characterWidth` unless those are
// set explicitly. Where AXFocusedUIElement is not set, an element answers
// it as the accessibility bus does, from the elements below it marked
// focused.
class FakeAccessibilityElement final
    : public AccessibilityElement,
      public std::enable_shared_from_this<FakeAccessibilityElement> {
public:
    static std::shared_ptr<FakeAccessibilityElement> create(QString identity);

    // Builders.
    FakeAccessibilityElement &set(const QString &attribute, AccessibilityValue value);
    FakeAccessibilityElement &remove(const QString &attribute);
    FakeAccessibilityElement &setProcessIdentifier(qint32 processIdentifier);
    // Every attribute is settable unless said otherwise here.
    FakeAccessibilityElement &setSettable(const QString &attribute, bool settable);
    // The element's states as the focus search reads them (all but focused
    // by default).
    FakeAccessibilityElement &setFocused(bool focused);
    FakeAccessibilityElement &setStates(FocusStates states);
    // The element answers this parameterised attribute with `answer`
    // (nothing when it returns nothing).
    using ParameterizedAnswer =
        std::function<std::optional<AccessibilityValue>(const AccessibilityValue &)>;
    FakeAccessibilityElement &answer(const QString &attribute, ParameterizedAnswer answer);
    // Rectangles of text ranges: x = origin + location × width.
    FakeAccessibilityElement &setTextGeometry(QRectF firstCharacter);
    // Runs on the reading thread before each read of an attribute is
    // answered, with the attribute's name: a test holds a reader there.
    FakeAccessibilityElement &onRead(std::function<void(const QString &attribute)> hook);
    void appendChild(const std::shared_ptr<FakeAccessibilityElement> &child);

    QString identity() const override { return m_identity; }
    std::optional<AccessibilityValue> attributeValue(const QString &attribute) override;
    std::optional<AccessibilityValue>
    parameterizedAttributeValue(const QString &attribute,
                                const AccessibilityValue &parameter) override;
    bool setAttributeValue(const QString &attribute, const AccessibilityValue &value) override;
    bool isAttributeSettable(const QString &attribute) override;
    QStringList attributeNames() override;
    std::optional<qint32> processIdentifier() override { return m_processIdentifier; }

    // Reads made of this element since it was created.
    int readCount() const { return m_reads; }

private:
    explicit FakeAccessibilityElement(QString identity);
    std::optional<AccessibilityValue> focusedDescendant();

    QString m_identity;
    QHash<QString, AccessibilityValue> m_attributes;
    QHash<QString, ParameterizedAnswer> m_answers;
    QSet<QString> m_unsettable;
    std::weak_ptr<FakeAccessibilityElement> m_parent;
    QList<std::shared_ptr<FakeAccessibilityElement>> m_children;
    std::optional<QRectF> m_firstCharacter;
    std::optional<qint32> m_processIdentifier;
    std::function<void(const QString &attribute)> m_onRead;
    FocusStates m_states;
    std::atomic<int> m_reads{0};
};

// The accessibility interface over in-memory trees: applications by
// process identifier, a system-wide element, and a trust switch.
class FakeAccessibilityClient final : public AccessibilityClient {
public:
    FakeAccessibilityClient();

    AccessibilityThread &thread() override { return m_thread; }
    bool isProcessTrusted() override { return m_trusted; }
    AccessibilityElementRef applicationElement(qint32 processIdentifier) override;
    AccessibilityElementRef systemWideElement() override { return m_systemWide; }

    void setTrusted(bool trusted) { m_trusted = trusted; }
    // The element returned for a process; processes without one get an
    // element that answers nothing.
    void setApplication(qint32 processIdentifier, std::shared_ptr<FakeAccessibilityElement> app);
    std::shared_ptr<FakeAccessibilityElement> systemWide() const { return m_systemWide; }

private:
    AccessibilityThread m_thread;
    std::atomic<bool> m_trusted{true};
    QHash<qint32, std::shared_ptr<FakeAccessibilityElement>> m_applications;
    std::shared_ptr<FakeAccessibilityElement> m_systemWide;
};

} // namespace tovalit
