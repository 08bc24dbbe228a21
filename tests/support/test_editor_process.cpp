#include "tests/support/test_editor_process.h"

#include "tests/support/run_task.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QElapsedTimer>

#include <gtest/gtest.h>

namespace tovalit::testing {

QString testToolPath(const QString &name) {
    return QStringLiteral(TOVALIT_TEST_TOOLS_DIR "/") + name;
}

std::unique_ptr<TestEditorProcess> TestEditorProcess::start(Toolkit toolkit, const QString &title,
                                                            const QString &text, int caret,
                                                            int anchor, Field field) {
    std::unique_ptr<TestEditorProcess> editor(new TestEditorProcess);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    QStringList arguments;
    QString program;
    if (toolkit == Toolkit::Qt || toolkit == Toolkit::QtLineEdit) {
        program = testToolPath(QStringLiteral("qt_text_editor"));
        environment.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        arguments << QStringLiteral("--window-title") << title << QStringLiteral("--text") << text
                  << QStringLiteral("--caret") << QString::number(caret);
        if (anchor >= 0)
            arguments << QStringLiteral("--anchor") << QString::number(anchor);
        if (toolkit == Toolkit::QtLineEdit)
            arguments << QStringLiteral("--line-edit");
        if (field == Field::readOnly)
            arguments << QStringLiteral("--read-only");
    } else {
        program = testToolPath(QStringLiteral("gtk_text_view"));
        environment.remove(QStringLiteral("NO_AT_BRIDGE"));
        if (field == Field::readOnly)
            arguments << QStringLiteral("--read-only");
        else if (field == Field::pastedClipboard)
            arguments << QStringLiteral("--paste");
        arguments << title << text << QString::number(caret);
        if (anchor >= 0)
            arguments << QString::number(anchor);
    }
    editor->m_process.setProcessEnvironment(environment);
    editor->m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    editor->m_process.start(program, arguments);
    if (!editor->m_process.waitForStarted(5000)) {
        ADD_FAILURE() << "could not start " << program.toStdString();
        return nullptr;
    }
    QByteArray output;
    const bool ready = waitUntil(
        [&] {
            output += editor->m_process.readAllStandardOutput();
            return output.contains("ready") || editor->m_process.state() == QProcess::NotRunning;
        },
        "the test editor's window to be active", std::chrono::seconds(15));
    if (!ready || !output.contains("ready")) {
        ADD_FAILURE() << program.toStdString() << " never became ready";
        return nullptr;
    }
    return editor;
}

TestEditorProcess::~TestEditorProcess() {
    m_process.terminate();
    if (!m_process.waitForFinished(3000)) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
}

qint32 TestEditorProcess::processIdentifier() const {
    return qint32(m_process.processId());
}

bool setDesktopAccessibilityEnabled(bool enabled) {
    QDBusMessage message = QDBusMessage::createMethodCall(
        QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"));
    message << QStringLiteral("org.a11y.Status") << QStringLiteral("IsEnabled")
            << QVariant::fromValue(QDBusVariant(enabled));
    const QDBusMessage reply = QDBusConnection::sessionBus().call(message, QDBus::Block, 5000);
    return reply.type() == QDBusMessage::ReplyMessage;
}

} // namespace tovalit::testing
