#include <QApplication>
#include <gtest/gtest.h>

// Widget tests run on the offscreen platform (QT_QPA_PLATFORM=offscreen in the test environment).
int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
