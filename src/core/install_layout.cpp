#include "core/install_layout.h"

#include <unistd.h>

#include <system_error>

#include "core/log.h"

#ifndef VANDREL_BIN_TO_RESOURCES
#define VANDREL_BIN_TO_RESOURCES "../share/vandrel"
#endif
#ifndef VANDREL_BIN_TO_HELPERS
#define VANDREL_BIN_TO_HELPERS "../libexec/vandrel"
#endif
#ifndef VANDREL_HELPERS_TO_BIN
#define VANDREL_HELPERS_TO_BIN "../../bin"
#endif
#ifndef VANDREL_BIN_TO_UDEV_RULES
#define VANDREL_BIN_TO_UDEV_RULES "../lib/udev/rules.d"
#endif

namespace vandrel {

namespace fs = std::filesystem;

namespace {

bool isFolder(const fs::path& path)
{
    std::error_code ec;
    return fs::is_directory(path, ec);
}

bool isExecutable(const fs::path& path)
{
    return ::access(path.c_str(), X_OK) == 0;
}

fs::path beside(const fs::path& executable, const fs::path& relative)
{
    return (executable.parent_path() / relative).lexically_normal();
}

// The nearest folder above the executable that is a build folder.
fs::path buildFolderAbove(const fs::path& executable)
{
    std::error_code ec;
    for (fs::path folder = executable.parent_path(); !folder.empty(); folder = folder.parent_path()) {
        if (fs::exists(folder / "CMakeCache.txt", ec)) return folder;
        if (folder == folder.parent_path()) break;
    }
    return {};
}

}  // namespace

fs::path InstallLayout::runningExecutable()
{
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path(programFileName) : self;
}

fs::path InstallLayout::resourcesFolderFor(const fs::path& executable)
{
    const fs::path installed = beside(executable, VANDREL_BIN_TO_RESOURCES);
    if (isFolder(installed)) return installed;
    if (const fs::path build = buildFolderAbove(executable); !build.empty() && isFolder(build / "share" / "vandrel"))
        return build / "share" / "vandrel";
    return installed;
}

fs::path InstallLayout::resourcesFolder()
{
    static const fs::path folder = resourcesFolderFor(runningExecutable());
    return folder;
}

void InstallLayout::logResourcesFolder()
{
    const fs::path found = resourcesFolder();
    if (isFolder(found))
        log.info("The program's files ->", found.string());
    else
        log.error("The program's files are missing; texts and images will not show ->", found.string());
}

fs::path InstallLayout::helperFor(const fs::path& program, const std::string& name)
{
    const fs::path next = program.parent_path() / name;
    if (isExecutable(next)) return next;
    return beside(program, fs::path(VANDREL_BIN_TO_HELPERS) / name);
}

fs::path InstallLayout::programFor(const fs::path& helper)
{
    const fs::path next = helper.parent_path() / programFileName;
    if (isExecutable(next)) return next;
    return beside(helper, fs::path(VANDREL_HELPERS_TO_BIN) / programFileName);
}

fs::path InstallLayout::udevRuleFor(const fs::path& program)
{
    const fs::path installed = beside(program, fs::path(VANDREL_BIN_TO_UDEV_RULES) / udevRuleFileName);
    std::error_code ec;
    if (fs::is_regular_file(installed, ec)) return installed;
    return resourcesFolderFor(program) / "linux" / udevRuleFileName;
}

fs::path InstallLayout::udevRule()
{
    return udevRuleFor(runningExecutable());
}

const std::vector<fs::path>& InstallLayout::udevRulesFolders()
{
    static const std::vector<fs::path> folders{"/etc/udev/rules.d", "/run/udev/rules.d", "/usr/lib/udev/rules.d",
                                               "/lib/udev/rules.d"};
    return folders;
}

bool InstallLayout::udevReadsRule(const fs::path& rule)
{
    const fs::path folder = rule.lexically_normal().parent_path();
    for (const auto& known : udevRulesFolders())
        if (folder == known) return true;
    return false;
}

}  // namespace vandrel
