#include <QApplication>
#include <gtest/gtest.h>

// Widget tests run on the offscreen platform (QT_QPA_PLATFORM=offscreen in the test environment).
// Test discovery runs the program without that environment, so it is the default here as well.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
