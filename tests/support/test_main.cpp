// GoogleTest entry point: every test binary runs with a Qt application object, so code that posts to the
// main queue or uses Qt types works as in the program.
#include <gtest/gtest.h>

#ifdef VANDREL_TEST_GUI
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

#include <cstdlib>

int main(int argc, char** argv)
{
#ifdef VANDREL_TEST_GUI
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
#endif
    TestApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
