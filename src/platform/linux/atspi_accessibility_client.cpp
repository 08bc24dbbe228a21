#include "platform/linux/atspi_accessibility_client.h"

#include "platform/accessibility_thread.h"
#include "platform/embedded_object_text_element.h"
#include "platform/linux/atspi_bus.h"
#include "platform/linux/atspi_element.h"

namespace tovalit {

AtspiAccessibilityClient::AtspiAccessibilityClient(
    std::shared_ptr<AccessibilityThread> thread,
    std::function<WindowSystemFocus()> windowSystemFocus, int callTimeoutMilliseconds)
    : m_thread(std::move(thread))
    , m_bus(std::make_shared<AtspiBus>(callTimeoutMilliseconds))
    , m_knowledge(std::make_shared<EmbeddedObjectTextElement::Knowledge>()) {
    m_bus->setWindowSystemFocus(std::move(windowSystemFocus));
}

AtspiAccessibilityClient::~AtspiAccessibilityClient() {
    // The bus connection belongs to the accessibility thread, and so do the
    // elements known: let them go there, after whatever is still queued.
    m_thread->post([bus = std::move(m_bus), knowledge = std::move(m_knowledge)]() mutable {
        knowledge.reset();
        bus.reset();
    });
}

AccessibilityThread &AtspiAccessibilityClient::thread() {
    return *m_thread;
}

bool AtspiAccessibilityClient::isProcessTrusted() {
    Q_ASSERT(m_thread->isCurrent());
    return m_bus->connectIfEnabled();
}

AccessibilityElementRef AtspiAccessibilityClient::applicationElement(qint32 processIdentifier) {
    Q_ASSERT(m_thread->isCurrent());
    // Every element reached from these two reads a rich-text editor's text
    // as its user sees it.
    if (auto service = m_bus->serviceOfProcess(processIdentifier)) {
        return EmbeddedObjectTextElement::wrap(
            std::make_shared<AtspiElement>(m_bus, AtspiElement::Kind::Application,
                                           AtspiBus::rootOf(*service)),
            m_knowledge);
    }
    return std::make_shared<AtspiElement>(
        m_bus, AtspiElement::Kind::Unreachable,
        AtspiObject{QString(), QString::number(processIdentifier)});
}

AccessibilityElementRef AtspiAccessibilityClient::systemWideElement() {
    Q_ASSERT(m_thread->isCurrent());
    return EmbeddedObjectTextElement::wrap(
        std::make_shared<AtspiElement>(m_bus, AtspiElement::Kind::SystemWide, AtspiObject{}),
        m_knowledge);
}

} // namespace tovalit
