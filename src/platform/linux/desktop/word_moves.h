// How an application's text moves by words (Ctrl+Left, Ctrl+Right), told from outside it: by the class of its
// window and by the libraries its process has loaded. Qt's text widgets and LibreOffice's text engine go to
// the start of the next word, GTK and Firefox to the end of the word; the editing actions that depend on it
// pick their strokes by it (Workspace::FrontmostSnapshot::movesToWordStarts).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vandrel {

class WordMoves {
public:
    WordMoves() = delete;

    // Whether Ctrl+Right goes to the next word's start: a window of LibreOffice (its class names it, whichever
    // toolkit draws it), or a process that has Qt's GUI library loaded (every Qt application does). wmInstance
    // and wmClass are a window's WM_CLASS; mappedFiles the text of the process's /proc/<pid>/maps.
    static bool toWordStarts(std::string_view wmInstance, std::string_view wmClass, std::string_view mappedFiles);

    // The same for a running process and the class of one of its windows. A process whose maps cannot be read
    // (another user's) counts by its class alone.
    static bool toWordStartsOf(std::int32_t pid, std::string_view wmInstance, std::string_view wmClass);
};

}  // namespace vandrel
