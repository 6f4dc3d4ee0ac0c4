#include <QCoreApplication>
#include <gtest/gtest.h>

// Tests of code that uses Qt's event loop or queued calls need an application object.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
