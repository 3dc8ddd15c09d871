// Titles of the program's windows and boxes as the window manager and task bars show them: "Vandrel", or
// "Vandrel — <what it is>" (an em dash between).
//
//   window->setWindowTitle(productWindowTitle(localizedText("Keyboard Map")));   // "Vandrel — Keyboard Map"
#pragma once

#include <QString>

namespace vandrel {

inline constexpr const char* kProductName = "Vandrel";

// "Vandrel" alone for an empty what.
QString productWindowTitle(const QString& what = {});

}  // namespace vandrel
