#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char *argv[]) {
    // Unit tests run without a display; the headless session of
    // scripts/test provides one for the integration tests.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tovalit"));
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
