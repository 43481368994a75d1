#include <QApplication>
#include <QByteArray>
#include <QtGlobal>

#include <gtest/gtest.h>

// Test discovery runs this binary at build time, where there may be no display.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM") && !qEnvironmentVariableIsSet("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
