#include "core/program_folders.h"

#include "core/app_info.h"
#include "core/install_layout.h"

namespace vandrel {

ProgramFolders ProgramFolders::standard()
{
    const std::filesystem::path resources = InstallLayout::resourcesFolder();
    return {AppInfo::standardSupportFolder(), resources / "texts", resources / "images", resources};
}

std::shared_ptr<const ProgramFolders> ProgramFolders::current()
{
    if (auto folders = installed().get()) return folders;
    static const auto standardFolders = std::make_shared<const ProgramFolders>(standard());
    return standardFolders;
}

InstalledInstance<const ProgramFolders>& ProgramFolders::installed()
{
    static InstalledInstance<const ProgramFolders> slot;
    return slot;
}

}  // namespace vandrel
