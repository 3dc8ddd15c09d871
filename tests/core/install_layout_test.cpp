#include "core/install_layout.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <vector>

namespace vandrel {
namespace {

namespace fs = std::filesystem;

class InstallLayoutTest : public ::testing::Test {
protected:
    fs::path root() const { return fs::path(dir_.path().toStdString()); }
    fs::path make(const fs::path& relative) const
    {
        const fs::path file = root() / relative;
        fs::create_directories(file.parent_path());
        std::ofstream(file) << "";
        return file;
    }

private:
    QTemporaryDir dir_;
};

TEST_F(InstallLayoutTest, ResourcesAreFoundInstalledFirstThenThroughTheBuildFolder)
{
    struct Case {
        const char* name;
        std::vector<fs::path> files;
        fs::path executable;
        fs::path expected;  // a folder under root()
    };
    const std::vector<Case> cases{
        {"installed", {"usr/bin/vandrel", "usr/share/vandrel/texts/en.json"}, "usr/bin/vandrel", "usr/share/vandrel"},
        {"run in place",
         {"build/CMakeCache.txt", "build/share/vandrel/texts/en.json", "build/src/app/vandrel"},
         "build/src/app/vandrel",
         "build/share/vandrel"},
        {"installed inside a build folder wins",
         {"build/CMakeCache.txt", "build/share/vandrel/a", "build/stage/bin/vandrel", "build/stage/share/vandrel/a"},
         "build/stage/bin/vandrel",
         "build/stage/share/vandrel"},
        {"nowhere: the installed place is named", {"lone/bin/vandrel"}, "lone/bin/vandrel", "lone/share/vandrel"},
    };
    for (const auto& c : cases) {
        for (const auto& f : c.files) make(c.name / f);
        EXPECT_EQ(InstallLayout::resourcesFolderFor(root() / c.name / c.executable), root() / c.name / c.expected)
            << c.name;
    }
    // The running test binary, inside the build folder, finds the source tree's resources.
    EXPECT_TRUE(fs::exists(InstallLayout::resourcesFolder() / "texts" / "en.json"));
    EXPECT_TRUE(fs::exists(InstallLayout::udevRule()));
}

TEST_F(InstallLayoutTest, TheInstalledRuleIsUsedWhereUdevReadsIt)
{
    const fs::path program = make("usr/bin/vandrel");
    make("usr/share/vandrel/linux/70-vandrel-input.rules");
    EXPECT_EQ(InstallLayout::udevRuleFor(program), root() / "usr/share/vandrel/linux/70-vandrel-input.rules");
    make("usr/lib/udev/rules.d/70-vandrel-input.rules");
    EXPECT_EQ(InstallLayout::udevRuleFor(program), root() / "usr/lib/udev/rules.d/70-vandrel-input.rules");

    EXPECT_TRUE(InstallLayout::udevReadsRule("/usr/lib/udev/rules.d/70-vandrel-input.rules"));
    EXPECT_TRUE(InstallLayout::udevReadsRule("/usr/bin/../lib/udev/rules.d/70-vandrel-input.rules"));
    EXPECT_FALSE(InstallLayout::udevReadsRule("/usr/local/lib/udev/rules.d/70-vandrel-input.rules"));
    EXPECT_FALSE(InstallLayout::udevReadsRule(root() / "usr/lib/udev/rules.d/70-vandrel-input.rules"));
}

}  // namespace
}  // namespace vandrel
