#include "platform/fake/fake_accessibility.h"

namespace tovalit {

std::shared_ptr<FakeAccessibilityElement> FakeAccessibilityElement::create(QString identity) {
    return std::shared_ptr<FakeAccessibilityElement>(
        new FakeAccessibilityElement(std::move(identity)));
}

FakeAccessibilityElement::FakeAccessibilityElement(QString identity)
    : m_identity(std::move(identity)) {}

FakeAccessibilityElement &FakeAccessibilityElement::set(const QString &attribute,
                                                        AccessibilityValue value) {
    m_attributes.insert(attribute, std::move(value));
    return *this;
}

FakeAccessibilityElement &FakeAccessibilityElement::remove(const QString &attribute) {
    m_attributes.remove(attribute);
    return *this;
}

FakeAccessibilityElement &FakeAccessibilityElement::setProcessIdentifier(qint32 processIdentifier) {
    m_processIdentifier = processIdentifier;
    return *this;
}

FakeAccessibilityElement &FakeAccessibilityElement::setFocused(bool focused) {
    m_states.focused = focused;
    return *this;
}

FakeAccessibilityElement &FakeAccessibilityElement::setStates(FocusStates states) {
    m_states = states;
    return *this;
}

FakeAccessibilityElement &FakeAccessibilityElement::answer(const QString &attribute,
                                                           ParameterizedAnswer answer) {
    m_answers.insert(attribute, std::move(answer));
    return *this;
}

FakeAccessibilityElement &FakeAccessibilityElement::setTextGeometry(QRectF firstCharacter) {
    m_firstCharacter = firstCharacter;
    return *this;
}

FakeAccessibilityElement &
FakeAccessibilityElement::onRead(std::function<void(const QString &attribute)> hook) {
    m_onRead = std::move(hook);
    return *this;
}

void FakeAccessibilityElement::appendChild(const std::shared_ptr<FakeAccessibilityElement> &child) {
    child->m_parent = weak_from_this();
    m_children.append(child);
}

std::optional<AccessibilityValue>
FakeAccessibilityElement::attributeValue(const QString &attribute) {
    ++m_reads;
    if (m_onRead)
        m_onRead(attribute);
    if (auto found = m_attributes.constFind(attribute); found != m_attributes.constEnd())
        return *found;
    if (attribute == ax::parent) {
        if (auto parent = m_parent.lock())
            return AccessibilityValue(AccessibilityElementRef(parent));
        return std::nullopt;
    }
    if (attribute == ax::focusedUIElement)
        return focusedDescendant();
    if (attribute == ax::children && !m_children.isEmpty()) {
        QList<AccessibilityElementRef> children(m_children.cbegin(), m_children.cend());
        return AccessibilityValue(children);
    }
    return std::nullopt;
}

std::optional<AccessibilityValue> FakeAccessibilityElement::focusedDescendant() {
    using Element = std::shared_ptr<FakeAccessibilityElement>;
    // As many as the bus looks at.
    constexpr int budget = 400;
    const auto focused = FocusSearch::focusedElement(
        shared_from_this(), [](const Element &element) { return element->m_identity; },
        [](const Element &element) {
            FocusStates states = element->m_states;
            if (states.managesDescendants && states.editable)
                states.childCount = element->m_children.size();
            const auto role = element->m_attributes.constFind(ax::role);
            if (const QString *name = role == element->m_attributes.constEnd()
                                          ? nullptr
                                          : std::get_if<QString>(&*role))
                states.below = FocusStates::belowRole(*name, states.editable);
            return std::optional(states);
        },
        [](const Element &element) { return element->m_children; }, budget);
    if (!focused)
        return std::nullopt;
    return AccessibilityValue(AccessibilityElementRef(*focused));
}

std::optional<AccessibilityValue>
FakeAccessibilityElement::parameterizedAttributeValue(const QString &attribute,
                                                      const AccessibilityValue &parameter) {
    ++m_reads;
    if (auto found = m_answers.constFind(attribute); found != m_answers.constEnd())
        return (*found)(parameter);
    const auto *range = std::get_if<AccessibilityRange>(&parameter);
    if (attribute == ax::embeddedObjectsForRange) {
        const auto objects = m_attributes.constFind(ax::embeddedObjects);
        const auto *list = objects == m_attributes.constEnd()
                               ? nullptr
                               : std::get_if<QList<AccessibilityElementRef>>(&*objects);
        if (!range || !list || range->location < 0 || range->length < 0 ||
            range->location + range->length > list->size())
            return std::nullopt;
        return AccessibilityValue(list->mid(range->location, range->length));
    }
    const auto value = m_attributes.constFind(ax::value);
    if (!range || value == m_attributes.constEnd())
        return std::nullopt;
    const auto *text = std::get_if<QString>(&*value);
    if (!text || range->location < 0 || range->length < 0 ||
        range->location + range->length > text->size())
        return std::nullopt;
    if (attribute == ax::stringForRange)
        return AccessibilityValue(text->mid(range->location, range->length));
    if (attribute == ax::boundsForRange && m_firstCharacter) {
        const QRectF first = *m_firstCharacter;
        return AccessibilityValue(QRectF(first.x() + range->location * first.width(), first.y(),
                                         range->length * first.width(), first.height()));
    }
    return std::nullopt;
}

bool FakeAccessibilityElement::setAttributeValue(const QString &attribute,
                                                 const AccessibilityValue &value) {
    m_attributes.insert(attribute, value);
    return true;
}

bool FakeAccessibilityElement::isAttributeSettable(const QString &attribute) {
    return !m_unsettable.contains(attribute);
}

FakeAccessibilityElement &FakeAccessibilityElement::setSettable(const QString &attribute,
                                                                bool settable) {
    if (settable)
        m_unsettable.remove(attribute);
    else
        m_unsettable.insert(attribute);
    return *this;
}

QStringList FakeAccessibilityElement::attributeNames() {
    QStringList names = m_attributes.keys();
    if (!m_parent.expired())
        names << ax::parent;
    if (!m_children.isEmpty())
        names << ax::children;
    return names;
}

FakeAccessibilityClient::FakeAccessibilityClient()
    : m_systemWide(FakeAccessibilityElement::create(QStringLiteral("system-wide"))) {}

AccessibilityElementRef FakeAccessibilityClient::applicationElement(qint32 processIdentifier) {
    if (auto found = m_applications.value(processIdentifier))
        return found;
    return FakeAccessibilityElement::create(QStringLiteral("no-app-%1").arg(processIdentifier));
}

void FakeAccessibilityClient::setApplication(qint32 processIdentifier,
                                             std::shared_ptr<FakeAccessibilityElement> app) {
    m_applications.insert(processIdentifier, std::move(app));
}

} // namespace tovalit
