// Test entry point: a Qt application on the offscreen platform, then every test.
#include "platform/Locale.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    vrma::SetDecimalSeparator(QLatin1Char('.'));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
