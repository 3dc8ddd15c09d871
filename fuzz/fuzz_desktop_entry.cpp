// Desktop entries as found in the applications folders: any text, read and turned into a command line.
#include <cstdint>
#include <string>

#include "platform/linux/desktop/desktop_entry.h"

using namespace vandrel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const auto entry = DesktopEntry::parse(text, "org.example.App", "/usr/share/applications/org.example.App.desktop",
                                           {"de_DE@euro", "de_DE", "de"});
    if (!entry) return 0;
    (void)entry->commandLine();
    (void)entry->executableName();
    return 0;
}
