// Where the program's files are, wherever it runs from. An installed program finds them relative to its own
// executable (<prefix>/bin/vandrel: <prefix>/share/vandrel, <prefix>/libexec/vandrel/vandrel-helper, the udev
// rule in <prefix>/lib/udev/rules.d); one run in place from a build folder finds them through that folder
// (the nearest folder above the executable that holds CMakeCache.txt; its share/vandrel links to the source
// tree's resources). No path of the build machine is compiled in, so the same binary works in both places.
//
//   InstallLayout::resourcesFolder() / "texts"      // the running program's resources
//   InstallLayout::helperFor(InstallLayout::runningExecutable())
//
// The pure functions take the executable's path, for tests; the others use the running one.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace vandrel {

class InstallLayout {
public:
    static constexpr const char* programFileName = "vandrel";
    static constexpr const char* helperFileName = "vandrel-helper";
    static constexpr const char* udevRuleFileName = "70-vandrel-input.rules";

    // The running executable (/proc/self/exe); "vandrel" when it cannot be read.
    static std::filesystem::path runningExecutable();

    // The resources (texts/, images/, linux/, the local pages) for an executable: ../share/vandrel beside its
    // folder when there, else the build folder's share/vandrel; the installed place when neither is there
    // (so messages name where they were looked for).
    static std::filesystem::path resourcesFolderFor(const std::filesystem::path& executable);
    // The running program's, found once.
    static std::filesystem::path resourcesFolder();
    // Logs where the running program's resources are (or that they are missing): once the logger is set, since the
    // folder is first looked up before it.
    static void logResourcesFolder();

    // A helper program (the login-item helper unless named) for a program: beside it (a build folder) when
    // there, else the installed one.
    static std::filesystem::path helperFor(const std::filesystem::path& program,
                                           const std::string& name = helperFileName);
    // The program for a helper: beside it (a build folder) when there, else the installed one.
    static std::filesystem::path programFor(const std::filesystem::path& helper);

    // The udev rule for a program: the installed one when there, else the resources' copy.
    static std::filesystem::path udevRuleFor(const std::filesystem::path& program);
    static std::filesystem::path udevRule();
    // Whether udev reads rules from this file where it is (it lies in one of udev's rules folders).
    static bool udevReadsRule(const std::filesystem::path& rule);
    static const std::vector<std::filesystem::path>& udevRulesFolders();
};

}  // namespace vandrel
