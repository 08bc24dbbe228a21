#include "tests/support/desktop_program.h"

#include "platform/accessibility_client.h"
#include "platform/accessibility_thread.h"
#include "services/context/focused_element_reader.h"
#include "tests/support/run_task.h"

#include <QStandardPaths>

#include <gtest/gtest.h>

namespace tovalit::testing {

ActiveInteractionContext editorContext(qint32 pid) {
    ActiveInteractionContext context;
    context.appName = QStringLiteral("Editor");
    context.bundleID = QStringLiteral("editor");
    context.processIdentifier = pid;
    return context;
}

std::unique_ptr<DesktopProgram> DesktopProgram::start(const QString &program,
                                                      const QStringList &arguments, Window window) {
    const QString path = QStandardPaths::findExecutable(program);
    if (path.isEmpty())
        return nullptr;
    std::unique_ptr<DesktopProgram> started(new DesktopProgram);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
    if (window == Window::nativeWayland)
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
    else
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    environment.remove(QStringLiteral("NO_AT_BRIDGE"));
    // The office suite speaks on the accessibility bus through GTK.
    environment.insert(QStringLiteral("SAL_USE_VCLPLUGIN"), QStringLiteral("gtk3"));
    started->m_process.setProcessEnvironment(environment);
    started->m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    started->m_process.setStandardOutputFile(QProcess::nullDevice());
    started->m_process.start(path, arguments);
    if (!started->m_process.waitForStarted(10000)) {
        ADD_FAILURE() << "could not start " << path.toStdString();
        return nullptr;
    }
    return started;
}

DesktopProgram::~DesktopProgram() {
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

FocusedFieldReader::FocusedFieldReader(std::shared_ptr<AccessibilityClient> client)
    : m_client(std::move(client)) {}

FocusedFieldReader::Field FocusedFieldReader::read(qint32 pid) {
    return runTask(m_client->thread().run([client = m_client, pid] {
        Field field;
        // The first question opens the connection to the bus.
        client->isProcessTrusted();
        auto focused = accessibilityValueAs<AccessibilityElementRef>(
            client->applicationElement(pid)->attributeValue(ax::focusedUIElement));
        if (!focused || !*focused)
            return field;
        field.role = accessibilityValueAs<QString>((*focused)->attributeValue(ax::role));
        field.value = accessibilityValueAs<QString>((*focused)->attributeValue(ax::value));
        field.selection = accessibilityValueAs<AccessibilityRange>(
            (*focused)->attributeValue(ax::selectedTextRange));
        return field;
    }));
}

bool FocusedFieldReader::waitFor(qint32 pid, const std::function<bool(const Field &)> &ready,
                                 const char *description) {
    Field last;
    const bool seen = waitUntil(
        [&] {
            last = read(pid);
            return ready(last);
        },
        description, std::chrono::seconds(45));
    if (!seen)
        ADD_FAILURE() << "the focused element: " << last.role.value_or("<none>").toStdString()
                      << " holding " << last.value.value_or("<none>").toStdString();
    return seen;
}

FocusedElementContext FocusedFieldReader::capture(qint32 pid) {
    return runTask(m_client->thread().run([client = m_client, pid] {
        client->isProcessTrusted();
        return FocusedElementReader::captureFocusedElementContext(*client, pid);
    }));
}

} // namespace tovalit::testing
