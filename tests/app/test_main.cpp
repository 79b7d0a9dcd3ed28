// The widget tests need an application object; each test builds its own windows.
#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    // Also when ctest lists the cases, which happens without the tests' environment.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
