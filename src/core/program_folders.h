// Where the program keeps and finds its files: the user's data folder and the resources it ships (texts,
// images, the local manual and tutorial). The program takes them in once at start-up; a test installs folders
// of its own for as long as its Installations lives:
//
//   auto folders = ProgramFolders::standard();
//   folders.support = temporaryFolder / "data";
//   installations.install(ProgramFolders::installed(), std::make_shared<const ProgramFolders>(folders));
//
// AppInfo (the data folders), Localize (the texts), ImageAsset (the images) and the web site's local pages read
// ProgramFolders::current(); a change of folders is seen at their next use (loaded texts are read again).
// Every member may be used from any thread.
#pragma once

#include <filesystem>
#include <memory>

#include "core/installed_instance.h"

namespace vandrel {

struct ProgramFolders {
    // The user's data: logs/, cache/clip/, the object database. Created on first use, for the owner only.
    std::filesystem::path support;
    // The tables of localized texts, <language>.json.
    std::filesystem::path texts;
    // The named images, <name>.png.
    std::filesystem::path images;
    // manual.html and tutorial.html, opened when no site address is set.
    std::filesystem::path localPages;

    // $XDG_DATA_HOME/Vandrel (else ~/.local/share/Vandrel) and the running program's resources.
    static ProgramFolders standard();
    // The installed folders, else the standard ones (found once).
    static std::shared_ptr<const ProgramFolders> current();
    static InstalledInstance<const ProgramFolders>& installed();
};

}  // namespace vandrel
