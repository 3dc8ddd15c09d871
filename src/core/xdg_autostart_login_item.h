// The login item as an XDG autostart entry: <autostart folder>/vandrel.desktop runs the login-item helper
// ("vandrel-helper": InstallLayout::helperFor), which starts the program unless it runs, when the desktop session
// starts; removing the file stops it. Its TryExec names the same program, so once the package is removed the
// desktop skips the entry instead of failing to run it at every login. The entry is written whole
// (WholeFileWriter): a failed write leaves an earlier entry as it was and is reported.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "core/login_item_service.h"
#include "core/whole_file_writer.h"

namespace vandrel {

class XdgAutostartLoginItem final : public LoginItemService {
public:
    static constexpr const char* entryFileName = "vandrel.desktop";

    // $XDG_CONFIG_HOME/autostart, or ~/.config/autostart.
    static std::filesystem::path standardFolder();
    // The running program's own executable.
    static std::filesystem::path runningExecutable();
    // What the entry runs for a program: its helper (beside it, else the installed one), or the program itself
    // when there is no helper (logged).
    static std::filesystem::path loginExecutableFor(const std::filesystem::path& program);

    XdgAutostartLoginItem();
    // The writer is for tests that make writes fail.
    XdgAutostartLoginItem(std::filesystem::path folder, std::filesystem::path executable,
                          WholeFileWriter writer = WholeFileWriter());

    std::optional<std::string> setStartAtLogin(bool enabled) override;

    std::filesystem::path entryPath() const { return folder_ / entryFileName; }
    // The entry's text for the executable.
    std::string entryText() const;

private:
    std::filesystem::path folder_;
    std::filesystem::path executable_;
    WholeFileWriter writer_;
};

}  // namespace vandrel
