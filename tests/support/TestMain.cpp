// Test entry point: the program's application object on the offscreen platform (so
// that an exception escaping an event handler reaches the default error report),
// then every test.
#include "calib/OpenCvProcess.h"
#include "platform/Application.h"
#include "platform/Locale.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    vrma::KeepOpenCvOnProcessor();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    vrma::VrmaApplication app(argc, argv);
    vrma::SetDecimalSeparator(QLatin1Char('.'));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
