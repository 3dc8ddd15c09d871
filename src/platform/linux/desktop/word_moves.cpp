#include "platform/linux/desktop/word_moves.h"

#include <algorithm>
#include <cctype>

#include "core/string_helpers.h"

namespace vandrel {

namespace {

std::string lowerCase(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return out;
}

// "libreoffice" and "libreoffice-writer", "libreoffice-calc" ...; "soffice" where it runs under its old name.
bool namesLibreOffice(std::string_view name)
{
    const std::string lower = lowerCase(name);
    return lower.starts_with("libreoffice") || lower == "soffice";
}

// libQtGui.so.4, libQt5Gui.so.5, libQt6Gui.so.6 as a mapped file's name.
bool mapsQtGui(std::string_view mappedFiles)
{
    constexpr std::string_view prefix = "/libQt";
    for (auto at = mappedFiles.find(prefix); at != std::string_view::npos; at = mappedFiles.find(prefix, at + 1)) {
        auto rest = mappedFiles.substr(at + prefix.size());
        while (!rest.empty() && std::isdigit(static_cast<unsigned char>(rest.front()))) rest.remove_prefix(1);
        if (rest.starts_with("Gui.so")) return true;
    }
    return false;
}

}  // namespace

bool WordMoves::toWordStarts(std::string_view wmInstance, std::string_view wmClass, std::string_view mappedFiles)
{
    return namesLibreOffice(wmInstance) || namesLibreOffice(wmClass) || mapsQtGui(mappedFiles);
}

bool WordMoves::toWordStartsOf(std::int32_t pid, std::string_view wmInstance, std::string_view wmClass)
{
    const auto maps = pid > 0 ? readWholeFile("/proc/" + std::to_string(pid) + "/maps") : std::nullopt;
    return toWordStarts(wmInstance, wmClass, maps ? std::string_view(*maps) : std::string_view());
}

}  // namespace vandrel
