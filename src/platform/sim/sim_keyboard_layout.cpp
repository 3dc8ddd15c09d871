#include "platform/sim/sim_keyboard_layout.h"

#include <utility>

namespace vandrel {

namespace {

struct UsRow {
    std::uint16_t keyCode;
    char plain;
    char shifted;
};

// Printable keys of the US layout by virtual key code.
constexpr UsRow kUsRows[] = {
    {0, 'a', 'A'},  {1, 's', 'S'},  {2, 'd', 'D'},   {3, 'f', 'F'},  {4, 'h', 'H'},  {5, 'g', 'G'},   {6, 'z', 'Z'},
    {7, 'x', 'X'},  {8, 'c', 'C'},  {9, 'v', 'V'},   {11, 'b', 'B'}, {12, 'q', 'Q'}, {13, 'w', 'W'},  {14, 'e', 'E'},
    {15, 'r', 'R'}, {16, 'y', 'Y'}, {17, 't', 'T'},  {18, '1', '!'}, {19, '2', '@'}, {20, '3', '#'},  {21, '4', '$'},
    {22, '6', '^'}, {23, '5', '%'}, {24, '=', '+'},  {25, '9', '('}, {26, '7', '&'}, {27, '-', '_'},  {28, '8', '*'},
    {29, '0', ')'}, {30, ']', '}'}, {31, 'o', 'O'},  {32, 'u', 'U'}, {33, '[', '{'}, {34, 'i', 'I'},  {35, 'p', 'P'},
    {37, 'l', 'L'}, {38, 'j', 'J'}, {39, '\'', '"'}, {40, 'k', 'K'}, {41, ';', ':'}, {42, '\\', '|'}, {43, ',', '<'},
    {44, '/', '?'}, {45, 'n', 'N'}, {46, 'm', 'M'},  {47, '.', '>'}, {49, ' ', ' '}, {50, '`', '~'},
};

std::map<std::uint16_t, std::string> usCharacters()
{
    std::map<std::uint16_t, std::string> m;
    for (const auto& row : kUsRows) m[row.keyCode] = std::string(1, row.plain);
    m[36] = "\r";
    m[48] = "\t";
    m[51] = "\x08";
    m[53] = "\x1b";
    m[76] = "\x03";
    const std::pair<std::uint16_t, const char*> keypad[] = {
        {65, "."}, {67, "*"}, {69, "+"}, {75, "/"}, {78, "-"}, {81, "="}, {82, "0"}, {83, "1"},
        {84, "2"}, {85, "3"}, {86, "4"}, {87, "5"}, {88, "6"}, {89, "7"}, {91, "8"}, {92, "9"}};
    for (const auto& [code, text] : keypad) m[code] = text;
    return m;
}

}  // namespace

SimKeyboardLayout::SimKeyboardLayout() : characters_(usCharacters()) {}

std::string SimKeyboardLayout::characterForKeyCode(std::uint16_t keyCode)
{
    std::lock_guard lock(mutex_);
    auto it = characters_.find(keyCode);
    return it == characters_.end() ? std::string() : it->second;
}

void SimKeyboardLayout::setCharacters(std::map<std::uint16_t, std::string> characters)
{
    std::lock_guard lock(mutex_);
    characters_ = std::move(characters);
}

void SimKeyboardLayout::useUsLayout()
{
    setCharacters(usCharacters());
}

std::optional<SimKeyboardLayout::UsKey> SimKeyboardLayout::usKeyForCharacter(char c)
{
    for (const auto& row : kUsRows) {
        if (row.plain == c) return UsKey{row.keyCode, false};
        if (row.shifted == c) return UsKey{row.keyCode, true};
    }
    return std::nullopt;
}

}  // namespace vandrel
