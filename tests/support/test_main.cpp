// GoogleTest entry point: every test binary runs with a Qt application object, so code that posts to the
// main queue or uses Qt types works as in the program.
//
// The process's own defaults are made hermetic here, once, through the environment the program reads them
// from: texts in English whatever the developer's locale, and the settings, data and cache folders in a
// temporary folder of this run, so no test reads or writes the developer's own files. Fixtures that need a
// fresh store or database per test still make their own.
#include <gtest/gtest.h>

#ifdef VANDREL_TEST_GUI
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

#include <QTemporaryDir>
#include <cstdlib>

int main(int argc, char** argv)
{
#ifdef VANDREL_TEST_GUI
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
#endif
    setenv("LANGUAGE", "en", 1);
    QTemporaryDir home;
    if (!home.isValid()) return 1;
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
        setenv(name, (home.path() + "/" + name).toLocal8Bit().constData(), 1);
    TestApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
