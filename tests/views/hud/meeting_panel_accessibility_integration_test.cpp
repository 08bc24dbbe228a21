#include "platform/accessibility_thread.h"
#include "platform/linux/atspi_accessibility_client.h"
#include "tests/support/qt_printers.h"
#include "tests/support/run_task.h"
#include "tests/support/test_editor_process.h"
#include "tests/support/test_session.h"

#include <QProcess>

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using testing::runTask;
using testing::testToolPath;
using testing::waitUntil;

// The names of the application's accessible objects in the order a screen
// reader walks them (depth first, children in the order the bus gives),
// keeping only those in `wanted`.
QStringList readInOrder(AccessibilityElement &element, const QStringList &wanted, int depth = 0) {
    QStringList names;
    const auto name = accessibilityValueAs<QString>(element.attributeValue(ax::title));
    if (name && wanted.contains(*name))
        names.append(*name);
    const auto children =
        accessibilityValueAs<QList<AccessibilityElementRef>>(element.attributeValue(ax::children));
    if (!children || depth > 40)
        return names;
    for (const AccessibilityElementRef &child : *children) {
        if (child)
            names += readInOrder(*child, wanted, depth + 1);
    }
    return names;
}

TEST(MeetingPanelAccessibilityTest, AScreenReaderReadsBothListsInTheOrderTheyAreDrawn) {
    TOVALIT_REQUIRE_DISPLAY();
    ASSERT_TRUE(testing::setDesktopAccessibilityEnabled(true));
    auto thread = std::make_shared<AccessibilityThread>();
    auto client = std::make_shared<AtspiAccessibilityClient>(thread);

    // The sample meeting of the panel gallery, on each tab. Both lists
    // build what is on show from their newest entry up.
    const struct {
        QString state;
        QStringList drawn;
    } tabs[] = {
        {QStringLiteral("meeting"),
         {QStringLiteral("需求背景与目标"), QStringLiteral("方案对比与风险")}},
        {QStringLiteral("raw"),
         {QStringLiteral("片段 01"), QStringLiteral("片段 02"), QStringLiteral("片段 03")}},
    };
    for (const auto &tab : tabs) {
        SCOPED_TRACE(tab.state.toStdString());
        QProcess gallery;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        gallery.setProcessEnvironment(environment);
        gallery.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        gallery.start(testToolPath(QStringLiteral("hud_gallery")),
                      {QStringLiteral("--state"), tab.state});
        ASSERT_TRUE(gallery.waitForStarted(5000));
        QByteArray output;
        ASSERT_TRUE(waitUntil(
            [&] {
                output += gallery.readAllStandardOutput();
                return output.contains("ready") || gallery.state() == QProcess::NotRunning;
            },
            "the panel gallery to show the meeting panel", std::chrono::seconds(15)));
        ASSERT_TRUE(output.contains("ready"));

        const qint32 pid = qint32(gallery.processId());
        const QStringList wanted = tab.drawn;
        QStringList read;
        // The panel lays its lists out once it is on screen.
        waitUntil(
            [&] {
                read = runTask(thread->run([client, pid, wanted] {
                    if (!client->isProcessTrusted())
                        return QStringList();
                    return readInOrder(*client->applicationElement(pid), wanted);
                }));
                return read.size() >= wanted.size();
            },
            "the lists' entries to reach the accessibility bus");
        EXPECT_EQ(read, tab.drawn);
        gallery.kill();
        gallery.waitForFinished(3000);
    }
}

} // namespace
} // namespace tovalit
