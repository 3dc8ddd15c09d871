#include "platform/linux/desktop/word_moves.h"

#include <gtest/gtest.h>

namespace vandrel {
namespace {

struct Application {
    const char* name;
    const char* wmInstance;
    const char* wmClass;
    const char* mappedFiles;  // lines of /proc/<pid>/maps, trimmed to their file names
    bool toWordStarts;
};

const Application applications[] = {
    {"Qt 6", "probe", "Probe",
     "/usr/lib/x86_64-linux-gnu/libQt6Core.so.6.4.2\n/usr/lib/x86_64-linux-gnu/libQt6Gui.so.6.4.2", true},
    {"Qt 5", "kate", "kate", "/usr/lib/x86_64-linux-gnu/libQt5Gui.so.5.15.8", true},
    {"LibreOffice drawn by GTK", "libreoffice", "libreoffice-writer", "/usr/lib/x86_64-linux-gnu/libgtk-3.so.0", true},
    {"LibreOffice by its old name", "soffice", "Soffice", "", true},
    {"GTK", "gedit", "Gedit", "/usr/lib/x86_64-linux-gnu/libgtk-3.so.0.2406.32", false},
    {"Firefox", "Navigator", "firefox", "/usr/lib/firefox/libxul.so", false},
    {"Qt without its GUI", "tool", "Tool", "/usr/lib/x86_64-linux-gnu/libQt6Core.so.6", false},
};

TEST(WordMovesTest, QtAndLibreOfficeMoveToWordStartsAndTheRestToWordEnds)
{
    for (const auto& app : applications)
        EXPECT_EQ(WordMoves::toWordStarts(app.wmInstance, app.wmClass, app.mappedFiles), app.toWordStarts) << app.name;
}

}  // namespace
}  // namespace vandrel
